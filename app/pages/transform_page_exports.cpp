// The Transform page's exports: the converted records as text and CSV, the EDF+ file of T, BF, T* and BF*, the
// PDF report and the chart pictures.
#include "pages/transform_page.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "shell/app_context.h"
#include "shell/file_intake.h"
#include "pages/converted_record_panel.h"
#include "pages/conversion_controls.h"
#include "core/text_helpers.h"
#include "shell/file_drop.h"
#include "charts/frequency_strip.h"
#include "shell/language_tables.h"
#include "shell/named_controls.h"
#include "shell/number_text.h"
#include "shell/page_run.h"
#include "pages/parameter_grid_view.h"
#include "shell/pdf_report.h"
#include "charts/plot_view.h"
#include "pages/record_colours.h"
#include "pages/record_side_panel.h"
#include "shell/signal_messages.h"
#include "formats/csv_writer.h"
#include "formats/edf_writer.h"
#include "formats/mat_file.h"
#include "signals/wavelet_transform_methods.h"
#include "shell/task_runner.h"
#include "charts/width_animation.h"

namespace kelvora {

void TransformPage::saveConverted(Side side) {
  if (!session() || isBusy()) return;
  const QString caption = side == Side::Temperature ? QStringLiteral("BF*") : QStringLiteral("T*");
  const QString text = QStringLiteral("Text file (*.txt)");
  const QString csv = QStringLiteral("CSV with header (*.csv)");
  const QString mat = QStringLiteral("MATLAB file (*.mat)");
  QString filter = text;
  const QString name = QFileDialog::getSaveFileName(
      this, caption, QString(), text + QStringLiteral(";;") + csv + QStringLiteral(";;") + mat, &filter);
  if (name.isEmpty()) return;
  if (filter == mat || name.endsWith(QStringLiteral(".mat"), Qt::CaseInsensitive)) {
    saveConvertedCsvTo(side == Side::BloodFlow, QString::fromStdString(EnsureExtension(name.toStdString(), ".mat")));
  } else if (filter == csv || name.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) {
    saveConvertedCsvTo(side == Side::BloodFlow, name);
  } else {
    saveConvertedTo(side == Side::BloodFlow, name);
  }
}

namespace {

const char* MethodName(ConversionMethod method) {
  return method == ConversionMethod::Fourier   ? "Fourier filtration"
         : method == ConversionMethod::Wavelet ? "Wavelet filtration"
                                               : "Shitzer's model";
}

// The key and value lines of a converted record's settings, as the comment lines of its files.
std::vector<std::pair<std::string, std::string>> ProvenanceComments(const ConversionProvenance& p) {
  std::vector<std::pair<std::string, std::string>> comments;
  comments.emplace_back("program", "Kelvora " + p.programVersion);
  comments.emplace_back("record", p.from == Side::Temperature ? "BF*" : "T*");
  comments.emplace_back("method", MethodName(p.method));
  if (p.method != ConversionMethod::Shitzer) {
    comments.emplace_back("model", p.model == ConversionModel::ThermalWave ? "thermal wave" : "derivative");
    comments.emplace_back("lambda_W_per_m_K", FormatRealText(p.tissue.wave.lambda, '.'));
    comments.emplace_back("rho_kg_per_m3", FormatRealText(p.tissue.wave.rho, '.'));
    comments.emplace_back("C_J_per_kg_K", FormatRealText(p.tissue.wave.heatCapacity, '.'));
    comments.emplace_back("depth_mm", FormatRealText(p.tissue.wave.depthM * 1000.0, '.'));
    comments.emplace_back(std::string(p.from == Side::Temperature ? "T" : "BF") + "_band_Hz",
                          FormatRealText(p.band.low, '.') + " .. " + FormatRealText(p.band.high, '.'));
  } else {
    const ShitzerParameters& sh = p.tissue.shitzer;
    comments.emplace_back("skin_rho_kg_per_m3", std::to_string(sh.rhoSkin));
    comments.emplace_back("skin_C_J_per_kg_K", std::to_string(sh.cSkin));
    comments.emplace_back("blood_rho_kg_per_m3", std::to_string(sh.rhoBlood));
    comments.emplace_back("blood_C_J_per_kg_K", std::to_string(sh.cBlood));
    comments.emplace_back("h_air_W_per_m2_K", std::to_string(sh.hAir));
    comments.emplace_back("t_air_C", std::to_string(sh.tAir));
    if (p.from == Side::BloodFlow) comments.emplace_back("T0_C", p.startTemperature);
  }
  if (p.waveletType) comments.emplace_back("wavelet", *p.waveletType == WaveletType::Paul ? "Paul" : "Morlet");
  if (p.delayRule)
    comments.emplace_back("wavelet_delays", *p.delayRule == WaveletDelayRule::Legacy ? "legacy" : "corrected");
  comments.emplace_back("nonlinear", p.nonlinear ? "yes" : "no");
  comments.emplace_back("scaling", p.scaling == ScalingMode::Normalized ? "normalized"
                                   : p.scaling == ScalingMode::Absolute ? "absolute"
                                                                        : "scaled");
  if (p.scaling == ScalingMode::Scaled) {
    comments.emplace_back("scale_a", p.scaleA);
    comments.emplace_back("scale_b", p.scaleB);
  }
  comments.emplace_back("input_rate_hz", std::to_string(p.inputRateHz));
  comments.emplace_back("sample_rate_hz", std::to_string(p.resultRateHz));
  comments.emplace_back(p.from == Side::Temperature ? "T_source" : "BF_source", p.source);
  return comments;
}

// The short form of a converted record's settings that fits an EDF+ annotation (40 bytes).
std::string ProvenanceAnnotation(const ConversionProvenance& p) {
  const std::string record = p.from == Side::Temperature ? "BF*" : "T*";
  const std::string method = p.method == ConversionMethod::Fourier   ? "Fourier"
                             : p.method == ConversionMethod::Wavelet ? "wavelet"
                                                                     : "Shitzer";
  std::string text = record + ": " + method;
  if (p.method != ConversionMethod::Shitzer)
    text += (p.model == ConversionModel::ThermalWave ? " wave" : " deriv") + std::string(" D=") +
            FormatRealText(p.tissue.wave.depthM * 1000.0, '.') + "mm " + FormatRealText(p.band.low, '.') + "-" +
            FormatRealText(p.band.high, '.') + "Hz";
  return text;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> TransformPage::methodComments(Side from) const {
  const TransformSession* s = session();
  if (!s || !s->convertedReady(from) || !s->provenance(from)) return {};
  return ProvenanceComments(*s->provenance(from));
}

bool TransformPage::saveConvertedCsvTo(bool temperature, const QString& name) {
  TransformSession* s = session();
  if (!s || isBusy()) return false;
  const Side from = temperature ? Side::BloodFlow : Side::Temperature;
  if (!s->convertedReady(from) || !s->provenance(from)) {
    m_context->showError(QStringLiteral("Nothing to save"));
    return false;
  }
  const ConversionProvenance& made = *s->provenance(from);
  // A ".mat" name gets the same columns and settings as MATLAB variables.
  const bool mat = name.endsWith(QStringLiteral(".mat"), Qt::CaseInsensitive);
  const std::string path = mat ? name.toStdString() : EnsureExtension(name.toStdString(), ".csv");
  CsvWriteRequest request;
  request.comments = ProvenanceComments(made);
  request.sampleRateHz = made.resultRateHz;
  std::vector<double> values = s->converted(from);
  values.resize(std::min<std::size_t>(values.size(), static_cast<std::size_t>(s->record(from).count())));
  request.columns = {CsvColumn{temperature ? "T*" : "BF*", std::move(values)}};
  if (const auto error = mat ? WriteColumnsMatFile(path, request) : WriteCsvFile(path, request)) {
    m_context->showError(RecordFileErrorText(*error, m_context->language()));
    return false;
  }
  return true;
}

bool TransformPage::hasExport() const {
  const TransformSession* s = session();
  return s && (s->loaded(Side::Temperature) || s->loaded(Side::BloodFlow));
}

bool TransformPage::exportEdf(const QString& name) {
  TransformSession* s = session();
  if (!s || isBusy()) return false;
  EdfWriteRequest request;
  // The measured records are at the rate their conversions ran on, or the session's when none has run.
  auto add = [&](const char* label, const char* unit, int rate, std::vector<double> values) {
    if (!values.empty()) request.channels.push_back(EdfWriteChannel{label, unit, rate, std::move(values)});
  };
  for (Side side : kBothSides) {
    if (s->loaded(side)) {
      const SignalRecord& r = s->record(side);
      add(side == Side::Temperature ? "T" : "BF", side == Side::Temperature ? "degC" : "", s->sampleRate(),
          std::vector<double>(r.values.begin(), r.values.begin() + r.count()));
    }
  }
  std::string recording = "Kelvora " KELVORA_VERSION;
  for (Side side : kBothSides) {
    if (s->convertedReady(side) && s->provenance(side)) {
      const ConversionProvenance& made = *s->provenance(side);
      std::vector<double> values = s->converted(side);
      values.resize(std::min<std::size_t>(values.size(), static_cast<std::size_t>(s->record(side).count())));
      add(side == Side::Temperature ? "BF*" : "T*", side == Side::Temperature ? "" : "degC", made.resultRateHz,
          std::move(values));
      request.annotations.push_back(EdfAnnotation{0.0, -1.0, ProvenanceAnnotation(made)});
    }
  }
  request.recording = recording;
  if (request.channels.empty()) {
    m_context->showError(QStringLiteral("Nothing to save"));
    return false;
  }
  const std::string path = EnsureExtension(name.toStdString(), ".edf");
  if (const auto error = WriteEdfFile(path, request)) {
    RecordFileError shown = *error;
    if (shown.path.empty()) shown.path = path;
    m_context->showError(RecordFileErrorText(shown, m_context->language()));
    return false;
  }
  return true;
}

void TransformPage::exportEdfDialog() {
  // Nothing to write is said before a file name is asked for.
  if (!hasExport()) {
    m_context->showError(QStringLiteral("Nothing to save"));
    return;
  }
  const QString name = QFileDialog::getSaveFileName(this, QStringLiteral("EDF+"), QString(),
                                                    QStringLiteral("EDF+ file (*.edf)"));
  if (!name.isEmpty()) exportEdf(name);
}

void TransformPage::reportDialog() {
  if (!hasExport()) {
    m_context->showError(m_context->russian() ? QStringLiteral("Нечего сохранять") : QStringLiteral("Nothing to save"));
    return;
  }
  const QString name = QFileDialog::getSaveFileName(this, m_context->russian() ? QStringLiteral("Отчёт") : QStringLiteral("Report"), QString(),
                                                    QStringLiteral("PDF file (*.pdf)"));
  if (!name.isEmpty()) writeReport(name);
}

QStringList TransformPage::reportLines() const {
  QStringList lines;
  const TransformSession* s = session();
  if (!s) return lines;
  const Language language = m_context->language();
  for (Side side : kBothSides) {
    const std::optional<double> r = s->correlation(side);
    const QString record = side == Side::Temperature ? QStringLiteral("BF* with BF") : QStringLiteral("T* with T");
    lines << record + QStringLiteral(": ") +
                 (r ? CorrelationLabel(language, *r, '.') : CorrelationPrefix(language) + QStringLiteral("-"));
  }
  // Each converted record with the settings it was made with; a record whose settings changed since says so.
  for (Side side : kBothSides) {
    const std::vector<std::pair<std::string, std::string>> comments = methodComments(side);
    if (comments.empty()) continue;
    for (const auto& [key, value] : comments) {
      QString line = QString::fromStdString(key) + QStringLiteral(": ") + QString::fromStdString(value);
      if (key == "record" && s->convertedOutdated(side)) line += OutdatedSuffix(language);
      lines << line;
    }
  }
  for (Side side : kBothSides) {
    if (s->loaded(side))
      lines << QString::fromLatin1(side == Side::Temperature ? "T_source: " : "BF_source: ") +
                   QString::fromStdString(s->viewState().side(side).source);
  }
  return lines;
}

bool TransformPage::writeReport(const QString& name) {
  TransformSession* s = session();
  if (!s || isBusy()) return false;
  const QString path = QString::fromStdString(EnsureExtension(name.toStdString(), ".pdf"));
  PdfReport report;
  report.title = QStringLiteral("Kelvora - Transform");
  // The four charts in a 2 x 2 grid (T, BF* / BF, T*), each drawn on white at its on-screen proportions.
  for (PlotView* chart : {panel(Side::Temperature)->chart(), m_converted[0]->chart(), panel(Side::BloodFlow)->chart(),
                          m_converted[1]->chart()}) {
    report.cells.push_back([chart](QPainter& painter, const QRect& cell) { RenderWidgetCell(painter, chart, cell); });
  }
  report.lines = reportLines();
  if (const std::optional<QString> error = WritePdfReport(path, report)) {
    m_context->showError(QStringLiteral("Cannot write the report ") + path + QStringLiteral(": ") + *error);
    return false;
  }
  return true;
}

bool TransformPage::saveConvertedTo(bool temperature, const QString& name) {
  TransformSession* s = session();
  if (!s || isBusy()) return false;
  // T* is the record converted from the blood-flow side, BF* the one from the temperature side.
  const SessionResult result = s->Save(temperature ? Side::BloodFlow : Side::Temperature,
                                       EnsureExtension(name.toStdString(), ".txt"));
  if (!result.ok()) m_context->showError(SessionErrorText(result, m_context->language()));
  return result.ok();
}

void TransformPage::plotChart(PlotView* chart) {
  const QString bitmaps = QStringLiteral("Bitmaps (*.bmp)");
  const QString png = QStringLiteral("PNG pictures (*.png)");
  const QString svg = QStringLiteral("SVG drawings (*.svg)");
  QString filter = bitmaps;
  const QString name = QFileDialog::getSaveFileName(
      this, QStringLiteral("Plot"), QString(), bitmaps + QStringLiteral(";;") + png + QStringLiteral(";;") + svg,
      &filter);
  if (name.isEmpty()) return;
  const QString extension = filter == png   ? QStringLiteral(".png")
                            : filter == svg ? QStringLiteral(".svg")
                                            : QStringLiteral(".bmp");
  savePlot(chart, name, extension);
}

bool TransformPage::savePlot(PlotView* chart, const QString& name, const QString& extension) {
  const QString path = QString::fromStdString(EnsureExtension(name.toStdString(), extension.toStdString()));
  // The picture is taken on a white background; the chart keeps its own colour on screen.
  const QBrush background = chart->chart()->backgroundBrush();
  chart->chart()->setBackgroundBrush(Qt::white);
  const bool ok = chart->savePicture(path);
  chart->chart()->setBackgroundBrush(background);
  if (!ok) m_context->showError(QStringLiteral("Cannot write the picture ") + path);
  return ok;
}

}  // namespace kelvora
