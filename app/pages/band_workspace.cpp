#include "pages/band_workspace.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "shell/app_context.h"
#include "shell/file_drop.h"
#include "shell/file_intake.h"
#include "shell/language_tables.h"
#include "core/text_helpers.h"
#include "formats/csv_writer.h"
#include "formats/mat_file.h"
#include "shell/number_text.h"
#include "shell/page_run.h"
#include "charts/plot_view.h"
#include "charts/workspace_strip.h"

namespace kelvora {

namespace {

// Height of the strip block: the edge labels above the strip and the strip itself.
constexpr int kLabelRowHeight = 18;
constexpr int kStripHeight = 49;

}  // namespace

const BandWorkspace::Preset BandWorkspace::kPresets[3] = {{"Endothelial", kEndothelialBand, "0.005-0.02 Hz"},
                                                          {"Neurogenic", kNeurogenicBand, "0.02-0.05 Hz"},
                                                          {"Myogenic", kMyogenicBand, "0.05-0.15 Hz"}};

BandWorkspace::BandWorkspace(AppContext* context, const Names& names, QWidget* parent)
    : QWidget(parent), m_context(context), m_names(names) {
  setObjectName(QString::fromLatin1(names.page));
  // The page's controls go off and on around a run through its two actions.
  m_disable = new QAction(this);
  m_disable->setObjectName(QString::fromLatin1(names.disableAction));
  connect(m_disable, &QAction::triggered, this, [this] { showBusy(true); });
  m_enable = new QAction(this);
  m_enable->setObjectName(QString::fromLatin1(names.enableAction));
  connect(m_enable, &QAction::triggered, this, [this] { showBusy(false); });
  m_run = new PageRun(context, this, [this](bool busy) { (busy ? m_disable : m_enable)->trigger(); });
}

BandWorkspace::~BandWorkspace() = default;

bool BandWorkspace::isBusy() const { return m_run->isBusy(); }

QHBoxLayout* BandWorkspace::build(QWidget* modeGroup) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);

  auto* row = new QHBoxLayout;
  row->setSpacing(6);
  m_btnSignal = new QPushButton(QStringLiteral("Signal"), this);
  m_btnSignal->setObjectName(QString::fromLatin1(m_names.signalButton));
  m_btnSignal->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
  m_btnSignal->setToolTip(QString::number(m_context->gerc()) + QStringLiteral(" Hz"));
  m_btnSave = new QPushButton(QStringLiteral("Signal"), this);
  m_btnSave->setObjectName(QString::fromLatin1(m_names.saveButton));
  m_btnSave->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
  m_btnSave->setToolTip(QStringLiteral("Save the filtered signal"));
  m_btnSave->setEnabled(false);
  m_auto = new QCheckBox(QStringLiteral("Automatic"), this);
  m_auto->setObjectName(QString::fromLatin1(m_names.automatic));
  m_auto->setChecked(true);
  m_calc = new QToolButton(this);
  m_calc->setObjectName(QString::fromLatin1(m_names.calculation));
  m_calc->setText(QStringLiteral("Calculation"));
  row->addWidget(m_btnSignal);
  row->addWidget(m_btnSave);
  row->addWidget(modeGroup);
  row->addWidget(m_auto);
  row->addWidget(m_calc);
  for (int i = 0; i < 3; ++i) {
    m_presets[i] = new QToolButton(this);
    m_presets[i]->setObjectName(QString::fromLatin1(m_names.presets[i]));
    m_presets[i]->setText(QString::fromLatin1(kPresets[i].text));
    m_presets[i]->setToolTip(QString::fromLatin1(kPresets[i].hint));
    connect(m_presets[i], &QToolButton::clicked, this, [this, i] { presetChosen(i); });
    row->addWidget(m_presets[i]);
  }
  row->addStretch(1);
  layout->addLayout(row);

  m_area = new QWidget(this);
  m_area->setObjectName(QString::fromLatin1(m_names.area));
  m_area->installEventFilter(this);
  layout->addWidget(m_area, 1);
  m_signalChart = new PlotView(QString::fromLatin1(m_names.signalChart), m_area);
  FileDrop::Install(m_signalChart, [this](const QString& path) { openFile(path); });
  m_signalChart->setTitle(QStringLiteral("Signal"));
  m_signalChart->setBottomTitle(QStringLiteral("t, min"));
  m_signalChart->addLineSeries(QString::fromLatin1(m_names.signalSeries), QColor(0xc0, 0x20, 0x20));
  m_filteredChart = new PlotView(QString::fromLatin1(m_names.filteredChart), m_area);
  m_filteredChart->setTitle(QStringLiteral("Filtered Signal"));
  m_filteredChart->setBottomTitle(QStringLiteral("t, min"));
  m_filteredChart->addLineSeries(QString::fromLatin1(m_names.filteredSeries), QColor(0x10, 0x60, 0x10));
  m_strip = new WorkspaceStrip(QString::fromLatin1(m_names.strip), m_area);
  m_lowLabel = new QLabel(QStringLiteral("0"), m_area);
  m_lowLabel->setObjectName(QString::fromLatin1(m_names.lowLabel));
  m_highLabel = new QLabel(FormatDecimal(0.02), m_area);
  m_highLabel->setObjectName(QString::fromLatin1(m_names.highLabel));
  m_highLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  connect(m_btnSignal, &QPushButton::clicked, this, &BandWorkspace::openDialog);
  connect(m_btnSave, &QPushButton::clicked, this, &BandWorkspace::saveDialog);
  connect(m_calc, &QToolButton::clicked, this, [this] { calculationPressed(); });
  connect(m_context, &AppContext::gercChanged, this,
          [this](int hz) { m_btnSignal->setToolTip(QString::number(hz) + QStringLiteral(" Hz")); });
  return row;
}

BandWorkspace::AreaRows BandWorkspace::placeArea(int chartWidth) {
  const int w = m_area->width();
  const int h = m_area->height();
  AreaRows rows;
  rows.fullWidth = std::max(10, w - 5);
  rows.chartHeight = std::max(60, (h - kLabelRowHeight - kStripHeight - 6) / 2);
  rows.labelsTop = rows.chartHeight + 2;
  rows.stripTop = rows.labelsTop + kLabelRowHeight;
  rows.lowerTop = rows.stripTop + kStripHeight + 2;
  rows.lowerHeight = std::max(60, h - rows.lowerTop);
  m_signalChart->setGeometry(0, 0, chartWidth, rows.chartHeight);
  m_filteredChart->setGeometry(0, rows.lowerTop, chartWidth, rows.lowerHeight);
  m_lowLabel->setGeometry(2, rows.labelsTop, 200, kLabelRowHeight);
  m_highLabel->setGeometry(rows.fullWidth - 200, rows.labelsTop, 198, kLabelRowHeight);
  m_strip->setGeometry(0, rows.stripTop, rows.fullWidth, kStripHeight);
  return rows;
}

void BandWorkspace::showBusy(bool busy) {
  for (QWidget* w :
       std::initializer_list<QWidget*>{m_btnSignal, m_btnSave, m_calc, m_presets[0], m_presets[1], m_presets[2]}) {
    w->setEnabled(!busy);
  }
  if (!busy) m_btnSave->setEnabled(hasFilteredSignal());
  setCursor(busy ? Qt::BusyCursor : Qt::ArrowCursor);
}

bool BandWorkspace::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_area && event->type() == QEvent::Resize) layoutArea();
  return QWidget::eventFilter(watched, event);
}

void BandWorkspace::openDialog() {
  const QString path = QFileDialog::getOpenFileName(
      this, m_context->russian() ? QStringLiteral("Сигнал") : QStringLiteral("Signal"), QString(), OpenFileFilter());
  if (!path.isEmpty()) openFile(path);
}

bool BandWorkspace::openFile(const QString& path) {
  if (m_context->refuseWhileHeld()) return false;
  IntakeRequest request;
  request.target = ImportTarget::Signal;
  request.typedRateHz = signalRateHz();
  request.requiredRateHz = signalRateHz();  // the page filters at the program's rate
  const std::optional<IntakeResult> taken = TakeFile(this, *m_context, path, request);
  if (!taken || isBusy()) return false;
  bool ok = false;
  if (taken->signalText()) {
    ok = loadSignal(path);
  } else {
    const ImportedRecord& record = taken->records.front();
    if (static_cast<int>(record.rateHz) != signalRateHz()) {
      m_context->showError(ImportText(ImportWord::kRateDiffers, m_context->language())
                               .arg(FormatDecimal(record.rateHz, 6))
                               .arg(signalRateHz()));
      return false;
    }
    ok = loadRecord(record.record, record.truncated);
  }
  if (ok) m_context->noteOpenedFile(recentRole(), path);
  return ok;
}

void BandWorkspace::saveDialog() {
  const QString text = QStringLiteral("Text file (*.txt)");
  const QString csv = QStringLiteral("CSV with header (*.csv)");
  const QString mat = QStringLiteral("MATLAB file (*.mat)");
  QString filter = text;
  const QString name = QFileDialog::getSaveFileName(
      this, m_context->russian() ? QStringLiteral("Сохранить") : QStringLiteral("Save"), QString(),
      text + QStringLiteral(";;") + csv + QStringLiteral(";;") + mat, &filter);
  if (name.isEmpty()) return;
  if (filter == mat || name.endsWith(QStringLiteral(".mat"), Qt::CaseInsensitive)) {
    saveFilteredCsv(QString::fromStdString(EnsureExtension(name.toStdString(), ".mat")));
  } else if (filter == csv || name.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) {
    saveFilteredCsv(name);
  } else {
    saveFiltered(name);
  }
}

bool BandWorkspace::saveFilteredCsv(const QString& name) {
  const std::optional<FilterProvenance> made = filterProvenance();
  if (isBusy() || !hasFilteredSignal() || !made) return false;
  // The comments are those of the run that made the signal, whatever the controls hold now.
  CsvWriteRequest request;
  request.comments = {{"program", "Kelvora " + made->programVersion}, {"record", "filtered signal"}};
  switch (made->method) {
    case FilterMethod::FourierFrequency:
      request.comments.emplace_back("method", "Fourier frequency filtering");
      break;
    case FilterMethod::FourierAmplitude:
      request.comments.emplace_back("method", "Fourier amplitude filtering");
      request.comments.emplace_back("amplitude_percent", FormatRealText(made->amplitudeLowPercent, '.') + " .. " +
                                                             FormatRealText(made->amplitudeHighPercent, '.'));
      break;
    case FilterMethod::Wavelet:
      request.comments.emplace_back("method", "wavelet filtration");
      if (made->wavelet) request.comments.emplace_back("wavelet", *made->wavelet == WaveletType::Paul ? "Paul" : "Morlet");
      break;
  }
  if (made->method != FilterMethod::FourierAmplitude)
    request.comments.emplace_back("band_Hz", FormatRealText(made->band.low, '.') + " .. " + FormatRealText(made->band.high, '.'));
  request.comments.emplace_back("sample_rate_hz", std::to_string(made->sampleRateHz));
  request.sampleRateHz = made->sampleRateHz;
  request.columns = {CsvColumn{"filtered", filteredForCsv()}};
  // A ".mat" name gets the same column and settings as MATLAB variables.
  const auto error = name.endsWith(QStringLiteral(".mat"), Qt::CaseInsensitive)
                         ? WriteColumnsMatFile(name.toStdString(), request)
                         : WriteCsvFile(EnsureExtension(name.toStdString(), ".csv"), request);
  if (error) {
    m_context->showError(RecordFileErrorText(*error, m_context->language()));
    return false;
  }
  return true;
}

}  // namespace kelvora
