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
#include "signals/wavelet_transform_methods.h"
#include "shell/task_runner.h"
#include "charts/width_animation.h"

namespace kelvora {

void TransformPage::saveConverted(Side side) {
  if (!session() || isBusy()) return;
  const QString caption = side == Side::Temperature ? QStringLiteral("BF*") : QStringLiteral("T*");
  const QString text = QStringLiteral("Text file (*.txt)");
  const QString csv = QStringLiteral("CSV with header (*.csv)");
  QString filter = text;
  const QString name =
      QFileDialog::getSaveFileName(this, caption, QString(), text + QStringLiteral(";;") + csv, &filter);
  if (name.isEmpty()) return;
  if (filter == csv || name.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) {
    saveConvertedCsvTo(side == Side::BloodFlow, name);
  } else {
    saveConvertedTo(side == Side::BloodFlow, name);
  }
}

std::vector<std::pair<std::string, std::string>> TransformPage::methodComments() const {
  std::vector<std::pair<std::string, std::string>> comments;
  const TransformSession* s = session();
  if (!s) return comments;
  const ConversionMethod method = s->method();
  comments.emplace_back("program", "Kelvora " KELVORA_VERSION);
  comments.emplace_back("method", method == ConversionMethod::Fourier   ? "Fourier filtration"
                                  : method == ConversionMethod::Wavelet ? "Wavelet filtration"
                                                                        : "Shitzer's model");
  if (method != ConversionMethod::Shitzer) {
    comments.emplace_back("model", s->model() == ConversionModel::ThermalWave ? "thermal wave" : "derivative");
    const ThermalWaveTissue& wave = s->tissueParameters().wave;
    comments.emplace_back("lambda_W_per_m_K", FormatRealText(wave.lambda, '.'));
    comments.emplace_back("rho_kg_per_m3", FormatRealText(wave.rho, '.'));
    comments.emplace_back("C_J_per_kg_K", FormatRealText(wave.heatCapacity, '.'));
    comments.emplace_back("depth_mm", FormatRealText(wave.depthM * 1000.0, '.'));
  } else {
    const ShitzerParameters& sh = s->tissueParameters().shitzer;
    comments.emplace_back("skin_rho_kg_per_m3", std::to_string(sh.rhoSkin));
    comments.emplace_back("skin_C_J_per_kg_K", std::to_string(sh.cSkin));
    comments.emplace_back("blood_rho_kg_per_m3", std::to_string(sh.rhoBlood));
    comments.emplace_back("blood_C_J_per_kg_K", std::to_string(sh.cBlood));
    comments.emplace_back("h_air_W_per_m2_K", std::to_string(sh.hAir));
    comments.emplace_back("t_air_C", std::to_string(sh.tAir));
    comments.emplace_back("T0_C", s->startTemperatureText());
  }
  comments.emplace_back("nonlinear", s->nonlinear() ? "yes" : "no");
  const ScalingMode scaling = s->scalingMode();
  comments.emplace_back("scaling", scaling == ScalingMode::Normalized ? "normalized"
                                   : scaling == ScalingMode::Absolute ? "absolute"
                                                                      : "scaled");
  for (Side side : kBothSides) {
    const FrequencyBand band = s->band(side);
    const char* name = side == Side::Temperature ? "T" : "BF";
    comments.emplace_back(std::string(name) + "_band_Hz",
                          FormatRealText(band.low, '.') + " .. " + FormatRealText(band.high, '.'));
  }
  comments.emplace_back("sample_rate_hz", std::to_string(s->sampleRate()));
  const TransformViewState view = s->viewState();
  if (view.temperature.loaded) comments.emplace_back("T_source", view.temperature.source);
  if (view.bloodFlow.loaded) comments.emplace_back("BF_source", view.bloodFlow.source);
  return comments;
}

bool TransformPage::saveConvertedCsvTo(bool temperature, const QString& name) {
  TransformSession* s = session();
  if (!s || isBusy()) return false;
  syncSession();
  const Side from = temperature ? Side::BloodFlow : Side::Temperature;
  if (!s->convertedReady(from)) {
    m_context->showError(QStringLiteral("Nothing to save"));
    return false;
  }
  const std::string path = EnsureExtension(name.toStdString(), ".csv");
  CsvWriteRequest request;
  request.comments = methodComments();
  request.comments.insert(request.comments.begin() + 1, {"record", temperature ? "T*" : "BF*"});
  request.sampleRateHz = s->sampleRate();
  std::vector<double> values = s->converted(from);
  values.resize(std::min<std::size_t>(values.size(), static_cast<std::size_t>(s->record(from).count())));
  request.columns = {CsvColumn{temperature ? "T*" : "BF*", std::move(values)}};
  if (const auto error = WriteCsvFile(path, request)) {
    m_context->showError(RecordFileErrorText(*error, m_context->language()));
    return false;
  }
  return true;
}

bool TransformPage::exportEdf(const QString& name) {
  TransformSession* s = session();
  if (!s || isBusy()) return false;
  EdfWriteRequest request;
  const int rate = s->sampleRate();
  auto add = [&](const char* label, const char* unit, std::vector<double> values) {
    if (!values.empty()) request.channels.push_back(EdfWriteChannel{label, unit, rate, std::move(values)});
  };
  for (Side side : kBothSides) {
    if (s->loaded(side)) {
      const SignalRecord& r = s->record(side);
      add(side == Side::Temperature ? "T" : "BF", side == Side::Temperature ? "degC" : "",
          std::vector<double>(r.values.begin(), r.values.begin() + r.count()));
    }
  }
  for (Side side : kBothSides) {
    if (s->convertedReady(side)) {
      std::vector<double> values = s->converted(side);
      values.resize(std::min<std::size_t>(values.size(), static_cast<std::size_t>(s->record(side).count())));
      add(side == Side::Temperature ? "BF*" : "T*", side == Side::Temperature ? "" : "degC", std::move(values));
    }
  }
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
  const QString name = QFileDialog::getSaveFileName(this, QStringLiteral("EDF+"), QString(),
                                                    QStringLiteral("EDF+ file (*.edf)"));
  if (!name.isEmpty()) exportEdf(name);
}

void TransformPage::reportDialog() {
  const QString name = QFileDialog::getSaveFileName(this, m_context->russian() ? QStringLiteral("Отчёт") : QStringLiteral("Report"), QString(),
                                                    QStringLiteral("PDF file (*.pdf)"));
  if (!name.isEmpty()) writeReport(name);
}

bool TransformPage::writeReport(const QString& name) {
  TransformSession* s = session();
  if (!s || isBusy()) return false;
  syncSession();
  const QString path = QString::fromStdString(EnsureExtension(name.toStdString(), ".pdf"));
  PdfReport report;
  report.title = QStringLiteral("Kelvora - Transform");
  // The four charts in a 2 x 2 grid (T, BF* / BF, T*), each drawn on white at its on-screen proportions.
  for (PlotView* chart : {panel(Side::Temperature)->chart(), m_converted[0]->chart(), panel(Side::BloodFlow)->chart(),
                          m_converted[1]->chart()}) {
    report.cells.push_back([chart](QPainter& painter, const QRect& cell) { RenderWidgetCell(painter, chart, cell); });
  }
  // Correlations, method and parameters, sources.
  const Language language = m_context->language();
  for (Side side : kBothSides) {
    const std::optional<double> r = s->correlation(side);
    const QString record = side == Side::Temperature ? QStringLiteral("BF* with BF") : QStringLiteral("T* with T");
    report.lines << record + QStringLiteral(": ") +
                        (r ? CorrelationLabel(language, *r, '.') : CorrelationPrefix(language) + QStringLiteral("-"));
  }
  for (const auto& [key, value] : methodComments()) {
    report.lines << QString::fromStdString(key) + QStringLiteral(": ") + QString::fromStdString(value);
  }
  if (const std::optional<QString> error = WritePdfReport(path, report)) {
    m_context->showError(QStringLiteral("Cannot write the report ") + path + QStringLiteral(": ") + *error);
    return false;
  }
  return true;
}

bool TransformPage::saveConvertedTo(bool temperature, const QString& name) {
  TransformSession* s = session();
  if (!s || isBusy()) return false;
  syncSession();
  // T* is the record converted from the blood-flow side, BF* the one from the temperature side.
  const SessionResult result = s->Save(temperature ? Side::BloodFlow : Side::Temperature,
                                       EnsureExtension(name.toStdString(), ".txt"));
  if (!result.ok()) m_context->showError(QString::fromStdString(result.error));
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
