#include "pages/ppg_page.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>

#include "shell/app_context.h"
#include "shell/file_drop.h"
#include "shell/file_intake.h"
#include "shell/language_tables.h"
#include "shell/named_controls.h"
#include "shell/page_run.h"
#include "shell/number_text.h"
#include "charts/plot_view.h"
#include "shell/signal_messages.h"
#include "formats/signal_file.h"
#include "core/text_helpers.h"

namespace kelvora {

namespace {

// The conversion errors of the edits, worded as the platform words them.
QString NotAReal(const QString& text) {
  return QStringLiteral("'") + text + QStringLiteral("' is not a valid floating point value");
}
QString NotAnInteger(const QString& text) {
  return QStringLiteral("'") + text + QStringLiteral("' is not a valid integer value");
}

}  // namespace

PpgPage::PpgPage(AppContext* context, QWidget* parent) : QWidget(parent), m_context(context) {
  setObjectName(QStringLiteral("TabSheet3"));
  buildControls();
  m_run = new PageRun(context, this, [this](bool busy) { showBusy(busy); });
  m_run->setKind(RunKind::Ppg);
  connect(context, &AppContext::languageChanged, this, [this] {
    if (m_loaded) m_edit20->setText(PointsText(m_ppg.count(), m_context->language()));
  });
}

PpgPage::~PpgPage() = default;

void PpgPage::buildControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);

  auto* row = new QHBoxLayout;
  row->setSpacing(6);
  m_btnPpg = new QPushButton(QStringLiteral("PPG"), this);
  m_btnPpg->setObjectName(QStringLiteral("BtnPPG"));
  m_btnPpg->setToolTip(QStringLiteral("50 Hz"));
  m_btnPpg->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
  m_edit3 = NamedEdit("Edit3", QString(), this, 200);
  m_edit3->setReadOnly(true);
  m_edit20 = NamedEdit("Edit20", QString(), this, 110);
  m_edit20->setReadOnly(true);
  row->addWidget(m_btnPpg);
  row->addWidget(m_edit3);
  row->addWidget(m_edit20);

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(0);
  struct Field {
    const char* label;
    const char* labelText;
    QLineEdit** edit;
    const char* name;
    const char* value;
  };
  const Field fields[] = {{"Label11", "Input Sample Rate, Hz", &m_edit11, "Edit11", "50"},
                          {"Label12", "Output Sample Rate, Hz", &m_edit12, "Edit12", "2"},
                          {"Label14", "Time, sec", &m_edit13, "Edit13", "1501"},
                          {"Label15", "Min pulse, BPM", &m_edit14, "Edit14", "69"},
                          {"Label16", "Max pulse, BPM", &m_edit15, "Edit15", "120"}};
  int column = 0;
  for (const Field& f : fields) {
    auto* label = new QLabel(QString::fromUtf8(f.labelText), this);
    label->setObjectName(QString::fromLatin1(f.label));
    // Long captions wrap onto two lines instead of being cut at the edit's width.
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    *f.edit = NamedEdit(f.name, QString::fromLatin1(f.value), this, 80);
    grid->addWidget(label, 0, column);
    grid->addWidget(*f.edit, 1, column);
    ++column;
  }
  row->addLayout(grid);

  m_btnEnvelope = new QPushButton(QStringLiteral("PPG-->BF"), this);
  m_btnEnvelope->setObjectName(QStringLiteral("BtnPPGintoBF"));
  m_btnEnvelope->setEnabled(false);
  m_btnSave = new QPushButton(QStringLiteral("BF"), this);
  m_btnSave->setObjectName(QStringLiteral("BtnSavePPGBF"));
  m_btnSave->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
  m_btnSave->setEnabled(false);
  m_btnHandOver = new QPushButton(QStringLiteral("<--"), this);
  m_btnHandOver->setObjectName(QStringLiteral("BitBtn20"));
  m_btnHandOver->setToolTip(QStringLiteral("Blood flow into the Transform page"));
  m_btnHandOver->setEnabled(false);
  m_label17 = new QLabel(this);
  m_label17->setObjectName(QStringLiteral("Label17"));
  m_label17->setMinimumWidth(40);
  row->addWidget(m_btnEnvelope);
  row->addWidget(m_btnSave);
  row->addWidget(m_btnHandOver);
  row->addWidget(m_label17);
  row->addStretch(1);
  layout->addLayout(row);

  m_chart7 = new PlotView(QStringLiteral("Chart7"), this);
  FileDrop::Install(m_chart7, [this](const QString& path) { openFile(path); });
  m_chart7->setTitle(QStringLiteral("PPG"));
  m_chart7->setBottomTitle(QStringLiteral("t, min"));
  m_chart7->addLineSeries(QStringLiteral("Series9"), QColor(0xc0, 0x20, 0x20));
  m_chart7->addPointSeries(QStringLiteral("Series13"), QColor(0x10, 0x80, 0x10), 4.0);
  m_chart7->addPointSeries(QStringLiteral("Series12"), QColor(0x20, 0x40, 0xd0), 4.0);
  m_chart8 = new PlotView(QStringLiteral("Chart8"), this);
  m_chart8->setTitle(QStringLiteral("Blood Flow (envelope of PPG)"));
  m_chart8->setBottomTitle(QStringLiteral("t, min"));
  m_chart8->addLineSeries(QStringLiteral("Series10"), QColor(0x20, 0x40, 0xc0), 1.5);
  layout->addWidget(m_chart7, 1);
  layout->addWidget(m_chart8, 1);

  connect(m_btnPpg, &QPushButton::clicked, this, &PpgPage::readPpg);
  connect(m_btnEnvelope, &QPushButton::clicked, this, &PpgPage::computeEnvelope);
  connect(m_btnSave, &QPushButton::clicked, this, &PpgPage::saveDialog);
  connect(m_btnHandOver, &QPushButton::clicked, this, &PpgPage::handOver);
}

bool PpgPage::loadExample(int number) {
  if (m_context->refuseWhileHeld()) return false;
  const QString path = QDir(AppContext::dataFolder()).filePath(QStringLiteral("Examples/PPG%1.txt").arg(number));
  if (!QFileInfo::exists(path)) {
    m_context->showError(FileMissingText(QDir::toNativeSeparators(path), m_context->language()));
    return false;
  }
  return loadPpg(path, QStringLiteral("PPG: Example %1").arg(number));
}

void PpgPage::readPpg() {
  const QString path = QFileDialog::getOpenFileName(
      this, m_context->russian() ? QStringLiteral("ФПГ") : QStringLiteral("PPG"), QString(), OpenFileFilter());
  if (path.isEmpty()) return;
  openFile(path);
}

bool PpgPage::openFile(const QString& path) {
  if (m_context->refuseWhileHeld()) return false;
  IntakeRequest request;
  request.target = ImportTarget::Ppg;
  request.maxSamples = kMaxPpgSamples;
  const std::optional<IntakeResult> taken = TakeFile(this, *m_context, path, request);
  if (!taken || isBusy()) return false;
  bool ok = false;
  if (taken->signalText()) {
    ok = loadPpg(path);
  } else {
    const ImportedRecord& record = taken->records.front();
    ok = loadSamples(record.record.values, record.rateHz, record.source);
  }
  if (ok) m_context->noteOpenedFile(QStringLiteral("PPG"), path);
  return ok;
}

bool PpgPage::loadSamples(std::vector<double> values, double rateHz, const QString& title) {
  if (isBusy() || values.empty() || !(rateHz > 0.0)) return false;
  PpgSignal signal;
  const bool bigFile = values.size() > static_cast<std::size_t>(kMaxPpgSamples);
  if (bigFile) values.resize(static_cast<std::size_t>(kMaxPpgSamples));
  signal.values = std::move(values);
  signal.inRateHz = rateHz;
  FinishPpgSignal(signal);
  m_edit11->setText(FormatDecimal(rateHz, 10));
  showPpg(std::move(signal), title, title, bigFile);
  return true;
}

bool PpgPage::loadPpg(const QString& path, const QString& title) {
  if (isBusy()) return false;
  bool ok = false;
  const double inRate = ParseDecimal(m_edit11->text(), &ok);
  if (!ok || !(inRate > 0.0)) {
    m_context->showError(ok ? (m_context->russian() ? QStringLiteral("Входная частота должна быть больше 0")
                                  : QStringLiteral("The input sample rate must be above 0")) : NotAReal(m_edit11->text()));
    return false;
  }
  PpgReadResult read = ReadPpgFile(path.toStdString(), inRate, DecimalSeparatorByte());
  if (const std::optional<SignalFileError> error = PpgFileError(read, path.toStdString())) {
    m_context->showError(FileErrorText(*error, m_context->language()));
    return false;
  }
  showPpg(std::move(read.signal), title.isEmpty() ? QFileInfo(path).fileName() : title,
          title.isEmpty() ? path : title, read.status == PpgReadStatus::kBigFile);
  return true;
}

void PpgPage::showPpg(PpgSignal signal, const QString& name, const QString& title, bool bigFile) {
  m_ppg = std::move(signal);
  m_loaded = true;
  m_envelope = PpgEnvelope{};
  m_ppgName = name;
  m_label17->clear();
  m_btnSave->setEnabled(false);
  m_btnHandOver->setEnabled(false);
  m_chart7->clearAll();
  m_chart8->clearAll();
  m_edit3->setText(title);
  // Sample i is drawn at (i + 1) / r_in seconds.
  const double step = 1.0 / m_ppg.inRateHz / 60.0;
  m_chart7->setUniformData(m_chart7->series(QStringLiteral("Series9")), m_ppg.values, step, step);
  m_edit20->setText(PointsText(m_ppg.count(), m_context->language()));
  m_edit13->setText(QString::number(m_ppg.durationS));
  m_btnEnvelope->setEnabled(true);
  if (bigFile) m_context->showError(PpgBigFileText(m_context->language()));
}

std::optional<PpgEnvelopeParams> PpgPage::readParams() {
  PpgEnvelopeParams params;
  bool ok = false;
  params.inRateHz = ParseDecimal(m_edit11->text(), &ok);
  if (!ok) {
    m_context->showError(NotAReal(m_edit11->text()));
    return std::nullopt;
  }
  params.outRateHz = ParseDecimal(m_edit12->text(), &ok);
  if (!ok) {
    m_context->showError(NotAReal(m_edit12->text()));
    return std::nullopt;
  }
  QLineEdit* const integers[] = {m_edit13, m_edit14, m_edit15};
  int* const targets[] = {&params.durationS, &params.lowestPulseBpm, &params.highestPulseBpm};
  for (int i = 0; i < 3; ++i) {
    *targets[i] = integers[i]->text().trimmed().toInt(&ok);
    if (!ok) {
      m_context->showError(NotAnInteger(integers[i]->text()));
      return std::nullopt;
    }
  }
  return params;
}

void PpgPage::retime(double inRateHz) {
  const int oldDuration = m_ppg.durationS;
  m_ppg.inRateHz = inRateHz;
  FinishPpgSignal(m_ppg);
  // A time that was the whole record stays the whole record; a shorter one the user chose stays, within it.
  bool ok = false;
  const int typed = m_edit13->text().trimmed().toInt(&ok);
  if (!ok || typed == oldDuration || typed > m_ppg.durationS) m_edit13->setText(QString::number(m_ppg.durationS));
  m_envelope = PpgEnvelope{};
  m_label17->clear();
  m_btnSave->setEnabled(false);
  m_btnHandOver->setEnabled(false);
  m_chart7->clearAll();
  m_chart8->clearAll();
  const double step = 1.0 / m_ppg.inRateHz / 60.0;
  m_chart7->setUniformData(m_chart7->series(QStringLiteral("Series9")), m_ppg.values, step, step);
}

bool PpgPage::computeEnvelope() {
  if (!m_loaded || isBusy()) return false;
  // A rate typed after loading re-times the record before the run: its time axis, its length and the peaks'
  // places all follow the typed rate.
  bool rateOk = false;
  const double typedRate = ParseDecimal(m_edit11->text(), &rateOk);
  if (rateOk && typedRate > 0.0 && std::isfinite(typedRate) && typedRate != m_ppg.inRateHz) retime(typedRate);
  const std::optional<PpgEnvelopeParams> params = readParams();
  if (!params) return false;
  auto ppg = std::make_shared<PpgSignal>(m_ppg);
  ProgressSink* sink = &m_run->sink();
  const PpgEnvelopeParams p = *params;
  return m_run->start([this, ppg, p, sink]() -> PageRun::Outcome {
    auto result = std::make_shared<PpgEnvelopeResult>(ComputePpgEnvelope(*ppg, p, *sink));
    return {[this, result, rate = p.inRateHz] { showEnvelope(std::move(*result), rate); }};
  });
}

void PpgPage::showEnvelope(PpgEnvelopeResult result, double inRateHz) {
  if (!result.ok()) {
    if (result.status != PpgEnvelopeStatus::kStopped) m_context->showError(PpgEnvelopeText(result, m_context->language()));
    return;
  }
  m_envelope = std::move(result.envelope);
  // The extremes are found on the 0 .. 10 copy; they are drawn on the PPG in its own units.
  const double span = m_ppg.maximum - m_ppg.minimum;
  auto plotPeaks = [&](const std::vector<PpgPeak>& peaks, const char* name) {
    std::vector<double> xs, ys;
    xs.reserve(peaks.size());
    ys.reserve(peaks.size());
    for (const PpgPeak& peak : peaks) {
      xs.push_back((peak.position + 1) / inRateHz / 60.0);
      ys.push_back(peak.value / 10.0 * span + m_ppg.minimum);
    }
    m_chart7->setPoints(m_chart7->series(QString::fromLatin1(name)), std::move(xs), std::move(ys), false);
  };
  plotPeaks(m_envelope.maxima, "Series13");
  plotPeaks(m_envelope.minima, "Series12");
  m_chart8->setUniformData(m_chart8->series(QStringLiteral("Series10")), m_envelope.values, 0.0,
                           1.0 / m_envelope.outRateHz / 60.0);
  m_label17->setText(QStringLiteral("100%"));
  m_btnSave->setEnabled(true);
  m_btnHandOver->setEnabled(true);
}

std::optional<std::vector<double>> PpgPage::envelopeSamples() {
  bool ok = false;
  const double outRate = ParseDecimal(m_edit12->text(), &ok);
  if (!ok) {
    m_context->showError(NotAReal(m_edit12->text()));
    return std::nullopt;
  }
  const int seconds = m_edit13->text().trimmed().toInt(&ok);
  if (!ok) {
    m_context->showError(NotAnInteger(m_edit13->text()));
    return std::nullopt;
  }
  std::vector<double> samples = PpgEnvelopeSamples(m_envelope, seconds, outRate);
  if (samples.empty()) {
    m_context->showError(m_context->russian()
                             ? QStringLiteral("Для этого времени и выходной частоты нет отсчётов огибающей")
                             : QStringLiteral("No envelope samples for this time and output rate"));
    return std::nullopt;
  }
  return samples;
}

void PpgPage::saveDialog() {
  const QString name =
      QFileDialog::getSaveFileName(this, QStringLiteral("BF"), QString(), QStringLiteral("Text file (*.txt)"));
  if (name.isEmpty()) return;
  saveEnvelope(name);
}

bool PpgPage::saveEnvelope(const QString& name) {
  if (m_envelope.empty()) return false;
  const std::optional<std::vector<double>> samples = envelopeSamples();
  if (!samples) return false;
  const std::string path = EnsureExtension(name.toStdString(), ".txt");
  const auto error = WriteSignalFile(*samples, static_cast<int>(samples->size()) - 1, path, DecimalSeparatorByte());
  if (error) {
    m_context->showError(FileErrorText(*error, m_context->language()));
    return false;
  }
  return true;
}

bool PpgPage::handOver() {
  if (m_envelope.empty() || isBusy()) return false;
  const std::optional<std::vector<double>> samples = envelopeSamples();
  if (!samples) return false;
  // The Transform page owns the session: it runs the load and shows the outcome.
  if (!m_context->handOverBloodFlow(*samples, m_ppgName)) {
    m_context->showError(QStringLiteral("The Transform page is busy"));
    return false;
  }
  return true;
}

bool PpgPage::isBusy() const { return m_run->isBusy(); }

void PpgPage::showBusy(bool busy) {
  m_btnPpg->setEnabled(!busy);
  m_btnEnvelope->setEnabled(!busy && m_loaded);
  m_btnSave->setEnabled(!busy && !m_envelope.empty());
  m_btnHandOver->setEnabled(!busy && !m_envelope.empty());
  setCursor(busy ? Qt::BusyCursor : Qt::ArrowCursor);
}

}  // namespace kelvora
