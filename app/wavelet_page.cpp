#include "wavelet_page.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <cmath>

#include "app_context.h"
#include "signal_buttons.h"
#include "core/frequency_band.h"
#include "number_text.h"
#include "plot_view.h"
#include "run_progress.h"
#include "run_progress_view.h"
#include "signal_messages.h"
#include "signals/signal_file.h"
#include "core/text_helpers.h"
#include "task_runner.h"
#include "wavelet/scale_table.h"
#include "workspace_strip.h"

namespace kelvora {

namespace {

constexpr int kMarkerWidth = 8;
constexpr int kLabelRowHeight = 18;
constexpr int kStripHeight = 49;

struct Preset {
  const char* button;
  const char* text;
  FrequencyBand band;
  const char* hint;
};
constexpr Preset kPresets[3] = {{"SpeedButton16", "Endothelial", kEndothelialBand, "0.005-0.02 Hz"},
                                {"SpeedButton17", "Neurogenic", kNeurogenicBand, "0.02-0.05 Hz"},
                                {"SpeedButton18", "Myogenic", kMyogenicBand, "0.05-0.15 Hz"}};

char FileSeparator() {
  const char c = DecimalSeparator().toLatin1();
  return c ? c : '.';
}

// The scale index shown for an edge frequency, at least 1.
int EdgeScaleIndex(double frequencyHz) { return std::max(1, FrequencyToScaleIndex(frequencyHz)); }

}  // namespace

WaveletPage::WaveletPage(AppContext* context, QWidget* parent) : QWidget(parent), m_context(context) {
  setObjectName(QStringLiteral("TabSheet4"));
  m_view = new RunProgressView(context, this);
  buildControls();
  if (!m_context->waveletMethods()) m_ownMethods = std::make_shared<WaveletMethods>();
  if (RunProgress* progress = m_context->progress()) {
    connect(progress, &RunProgress::stopPressed, this, &WaveletPage::onStopPressed);
  }
  if (TaskRunner* runner = m_context->runner()) {
    connect(runner, &TaskRunner::busyChanged, this, [this](bool busy) {
      if (busy) return;
      // Checked once the runner has delivered (or dropped) the result: a run of this page that got no result
      // (the window closing) ends here, and runs started by the Transform page are shown.
      QTimer::singleShot(0, this, [this] {
        TaskRunner* r = m_context->runner();
        if (r && r->isBusy()) return;
        if (m_running) {
          m_running = false;
          m_view->end(false);
          setControlsEnabled(true);
        }
        refreshFromEngine();
      });
    });
  }
}

// The window stops and waits for a running computation before its pages go; the shared context may already be
// gone here, so nothing of it is touched.
WaveletPage::~WaveletPage() = default;

WaveletMethods* WaveletPage::methods() const { return m_ownMethods ? m_ownMethods.get() : m_context->waveletMethods(); }

void WaveletPage::buildControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);
  auto* row = new QHBoxLayout;
  row->setSpacing(6);
  MakeSignalButtons(this, "BitBtn11", "BtnSaveW", m_context->gerc(), m_btnSignal, m_btnSave);
  m_radioGroup = new QGroupBox(QStringLiteral("Type of wavelet"), this);
  m_radioGroup->setObjectName(QStringLiteral("RadioGroup3"));
  auto* radios = new QHBoxLayout(m_radioGroup);
  radios->setContentsMargins(6, 0, 6, 0);
  m_radioItems[0] = new QRadioButton(QStringLiteral("Morle"), m_radioGroup);
  m_radioItems[1] = new QRadioButton(QStringLiteral("Paul"), m_radioGroup);
  m_radioItems[0]->setObjectName(QStringLiteral("RadioGroup3Item0"));
  m_radioItems[1]->setObjectName(QStringLiteral("RadioGroup3Item1"));
  m_radioItems[0]->setChecked(true);
  radios->addWidget(m_radioItems[0]);
  radios->addWidget(m_radioItems[1]);
  m_auto = new QCheckBox(QStringLiteral("Automatic"), this);
  m_auto->setObjectName(QStringLiteral("AutoSchetW"));
  m_auto->setChecked(true);
  m_calc = new QToolButton(this);
  m_calc->setObjectName(QStringLiteral("SpeedButton15"));
  m_calc->setText(QStringLiteral("Calculation"));
  row->addWidget(m_btnSignal);
  row->addWidget(m_btnSave);
  row->addWidget(m_radioGroup);
  row->addWidget(m_auto);
  row->addWidget(m_calc);
  for (int i = 0; i < 3; ++i) {
    m_presets[i] = new QToolButton(this);
    m_presets[i]->setObjectName(QString::fromLatin1(kPresets[i].button));
    m_presets[i]->setText(QString::fromLatin1(kPresets[i].text));
    m_presets[i]->setToolTip(QString::fromLatin1(kPresets[i].hint));
    const FrequencyBand band = kPresets[i].band;
    connect(m_presets[i], &QToolButton::clicked, this, [this, band] { setBand(band.low, band.high); });
    row->addWidget(m_presets[i]);
  }
  row->addStretch(1);
  layout->addLayout(row);

  m_area = new QWidget(this);
  m_area->setObjectName(QStringLiteral("WaveletChartArea"));
  m_area->installEventFilter(this);
  layout->addWidget(m_area, 1);
  m_chart11 = new PlotView(QStringLiteral("Chart11"), m_area);
  m_chart11->setTitle(QStringLiteral("Signal"));
  m_chart11->setBottomTitle(QStringLiteral("t, min"));
  m_chart11->addLineSeries(QStringLiteral("Series22"), QColor(0xc0, 0x20, 0x20));
  m_chart12 = new PlotView(QStringLiteral("Chart12"), m_area);
  m_chart12->setTitle(QStringLiteral("Filtered Signal"));
  m_chart12->setBottomTitle(QStringLiteral("t, min"));
  m_chart12->addLineSeries(QStringLiteral("Series23"), QColor(0x10, 0x60, 0x10));
  m_strip = new WorkspaceStrip(QStringLiteral("Image5"), m_area);
  m_label27 = new QLabel(QStringLiteral("0"), m_area);
  m_label27->setObjectName(QStringLiteral("Label27"));
  m_label26 = new QLabel(FormatDecimal(0.02), m_area);
  m_label26->setObjectName(QStringLiteral("Label26"));
  m_label26->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  m_label28 = new QLabel(m_area);
  m_label28->setObjectName(QStringLiteral("Label28"));
  m_label28->setFrameShape(QFrame::Panel);
  m_label28->setFrameShadow(QFrame::Raised);
  m_label28->setAutoFillBackground(true);
  m_label28->setVisible(false);

  connect(m_btnSignal, &QPushButton::clicked, this, &WaveletPage::readSignal);
  connect(m_btnSave, &QPushButton::clicked, this, &WaveletPage::saveDialog);
  connect(m_calc, &QToolButton::clicked, this, &WaveletPage::calculate);
  for (int i = 0; i < 2; ++i) {
    connect(m_radioItems[i], &QRadioButton::clicked, this, [this, i] {
      methods()->setFilterType(static_cast<WaveletType>(i));
      if (m_loaded && m_auto->isChecked()) calculate();
    });
  }
  connect(m_strip, &WorkspaceStrip::mousePressed, this, &WaveletPage::onStripPressed);
  connect(m_strip, &WorkspaceStrip::mouseMoved, this, &WaveletPage::onStripMoved);
  connect(m_strip, &WorkspaceStrip::mouseReleased, this, &WaveletPage::onStripReleased);
  connect(m_strip, &WorkspaceStrip::resized, this, [this](int) { placeMarkers(); });
  connect(m_context, &AppContext::gercChanged, this,
          [this](int hz) { m_btnSignal->setToolTip(QString::number(hz) + QStringLiteral(" Hz")); });

  // EnF / EnT: the page's signal, save, calculation and preset controls off and on around a run.
  auto* enF = new QAction(this);
  enF->setObjectName(QStringLiteral("EnF"));
  connect(enF, &QAction::triggered, this, [this] { setControlsEnabled(false); });
  auto* enT = new QAction(this);
  enT->setObjectName(QStringLiteral("EnT"));
  connect(enT, &QAction::triggered, this, [this] { setControlsEnabled(true); });
}

bool WaveletPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_area && event->type() == QEvent::Resize) layoutArea();
  return QWidget::eventFilter(watched, event);
}

void WaveletPage::layoutArea() {
  const int w = m_area->width();
  const int h = m_area->height();
  const int full = std::max(10, w - 5);
  const int chartHeight = std::max(60, (h - kLabelRowHeight - kStripHeight - 6) / 2);
  m_chart11->setGeometry(0, 0, full, chartHeight);
  const int labelsTop = chartHeight + 2;
  const int stripTop = labelsTop + kLabelRowHeight;
  const int lowerTop = stripTop + kStripHeight + 2;
  m_label27->setGeometry(2, labelsTop, 200, kLabelRowHeight);
  m_label26->setGeometry(full - 200, labelsTop, 198, kLabelRowHeight);
  m_strip->setGeometry(0, stripTop, full, kStripHeight);
  m_chart12->setGeometry(0, lowerTop, full, std::max(60, h - lowerTop));
}

void WaveletPage::placeMarkers() {
  const int w = std::max(1, m_strip->width());
  if (!m_markersPlaced && m_lowHz == WaveletFiltering::kStartBand.lowHz &&
      m_highHz == WaveletFiltering::kStartBand.highHz) {
    // The start state: the low marker at 0, the high one at 0.4 W - 8.
    m_lowPos = 0;
    m_highPos = static_cast<int>(std::lround(0.4 * w - kMarkerWidth));
  } else {
    m_lowPos =
        m_lowHz <= 0.0 ? 0 : std::max(0, static_cast<int>(std::lround(FrequencyPixel(m_lowHz, w))) - kMarkerWidth);
    m_highPos = std::min(w - kMarkerWidth, static_cast<int>(std::lround(FrequencyPixel(m_highHz, w))) - kMarkerWidth);
  }
  m_strip->setMarkers(m_lowPos + kMarkerWidth, m_highPos + kMarkerWidth);
}

void WaveletPage::showBandTexts() {
  m_label27->setText(FormatDecimal(m_lowHz));
  m_label26->setText(FormatDecimal(m_highHz));
}

void WaveletPage::setBand(double lowHz, double highHz) {
  m_lowHz = lowHz;
  m_highHz = highHz;
  m_markersPlaced = true;
  showBandTexts();
  placeMarkers();
  layoutArea();
  if (m_loaded && m_auto->isChecked()) calculate();
}

void WaveletPage::onStripPressed(int x, Qt::MouseButton button) {
  if (button != Qt::LeftButton) return;
  // The grab zone of a marker: its left edge .. its tip + 8 (the drawn marker and its left half-width).
  m_lowGrabbed = m_lowPos <= x && x <= m_lowPos + 2 * kMarkerWidth;
  m_highGrabbed = m_highPos <= x && x <= m_highPos + 2 * kMarkerWidth;
  if (m_lowGrabbed && m_highGrabbed) {
    if (std::abs(x - m_lowPos) < std::abs(x - m_highPos)) {
      m_highGrabbed = false;
    } else {
      m_lowGrabbed = false;
    }
  }
  m_dragging = m_lowGrabbed || m_highGrabbed;
  if (m_dragging) {
    m_label28->setVisible(true);
    m_label28->raise();
  }
}

void WaveletPage::onStripMoved(int x) {
  if (!m_dragging) return;
  const int w = std::max(1, m_strip->width());
  // The marker's tip follows the pointer: its left edge is 8 pixels to the left.
  const int position = x - kMarkerWidth;
  if (m_lowGrabbed) {
    m_lowPos = position <= 0 ? 0 : std::min(position, m_highPos - kMarkerWidth);
    m_lowPos = std::max(0, m_lowPos);
  } else if (m_highGrabbed) {
    m_highPos = std::min(std::max(position, m_lowPos + kMarkerWidth), w - kMarkerWidth);
  }
  m_lowHz = WaveletMarkerFrequency(m_lowPos, w);
  m_highHz = WaveletMarkerFrequency(m_highPos, w);
  if (m_lowHz <= 0.0) m_lowHz = 0.0001;
  m_markersPlaced = true;
  m_strip->setMarkers(m_lowPos + kMarkerWidth, m_highPos + kMarkerWidth);
  showBandTexts();
  m_label28->setText(QStringLiteral("(") + QString::number(EdgeScaleIndex(m_lowHz)) + QStringLiteral("-") +
                     QString::number(EdgeScaleIndex(m_highHz)) + QStringLiteral(") ") + m_label27->text() +
                     QStringLiteral(" - ") + m_label26->text() + QStringLiteral(" Hz"));
  m_label28->adjustSize();
  const int left = std::clamp(m_strip->x() + x + 10, 0, std::max(0, m_area->width() - m_label28->width()));
  m_label28->move(left, m_strip->y() - m_label28->height() - 2);
  m_label28->raise();
}

void WaveletPage::onStripReleased(int) {
  const bool wasDragging = m_dragging;
  m_label28->setVisible(false);
  m_dragging = m_lowGrabbed = m_highGrabbed = false;
  if (wasDragging && m_loaded && m_auto->isChecked()) calculate();
}

void WaveletPage::readSignal() {
  const QString path =
      QFileDialog::getOpenFileName(this, QStringLiteral("Signal"), QString(), QStringLiteral("Text file (*.txt)"));
  if (path.isEmpty()) return;
  loadSignal(path);
}

bool WaveletPage::loadSignal(const QString& path) {
  TaskRunner* runner = m_context->runner();
  if (m_running) supersedeRun();
  if (!runner || runner->isBusy()) {
    // Another page's computation uses the engine's thread: nothing is read or changed.
    m_context->showError(QStringLiteral("Wait until the running computation has ended"));
    return false;
  }
  SignalReadResult read = ReadSignalFile(path.toStdString(), false, DecimalFormat::ForSeparator(FileSeparator()));
  if (!read.ok()) {
    m_context->showError(SignalErrorText(*read.error));
    return false;
  }
  // The engine refuses what it cannot hold before anything of the page changes.
  WaveletFiltering& filtering = methods()->page();
  filtering.setBand({m_lowHz, m_highHz});
  if (const auto error = filtering.loadSignal(read.record.normalized, WaveletSource::File)) {
    m_context->showError(QString::fromStdString(error->message));
    return false;
  }
  m_pageSignal = read.record.normalized;
  m_loaded = true;
  m_filtered.clear();
  m_btnSave->setEnabled(false);
  const double fs = kWaveletSampleRateHz;  // the wavelet page works at 2 Hz whatever the records' rate
  m_chart11->setUniformData(m_chart11->series(QStringLiteral("Series22")), read.record.values, 0.0, 1.0 / fs / 60.0);
  m_chart12->clearAll();
  if (read.truncated) m_context->showError(QString::fromStdString(read.warning));
  calculate();
  return true;
}

WaveletRunSettings WaveletPage::runSettings() const {
  WaveletRunSettings settings;
  settings.type = m_radioItems[1]->isChecked() ? WaveletType::Paul : WaveletType::Morlet;
  settings.threads = std::clamp(m_context->potoks(), kWaveletMinThreads, kWaveletMaxThreads);
  return settings;
}

bool WaveletPage::calculate() {
  if (m_running) supersedeRun();
  // A run of the Transform page may have put its record into the shared engine: the page shows it first.
  refreshFromEngine();
  if (!m_loaded) return false;
  const WaveletRunSettings settings = runSettings();
  methods()->setFilterType(settings.type);
  const WaveletBand band{m_lowHz, m_highHz};
  WaveletMethods* shared = methods();
  std::shared_ptr<WaveletMethods> keep = m_ownMethods;
  ProgressSink* sink = m_context->progress() ? &m_context->progress()->sink() : &NullProgress();
  return startRun([shared, keep, band, settings, sink]() -> Apply {
    WaveletFiltering& filtering = shared->page();
    filtering.setBand(band);
    auto result = std::make_shared<WaveletRunResult>(filtering.calculate(settings, *sink));
    return [result](WaveletPage& page) { page.finishRun(*result); };
  });
}

bool WaveletPage::startRun(std::function<Apply()> work) {
  TaskRunner* runner = m_context->runner();
  if (!runner || runner->isBusy()) return false;
  // The display resets the stop request before the computation can see it.
  m_view->begin();
  QPointer<WaveletPage> page(this);
  const quint64 id = ++m_runId;
  const bool started = runner->start([page, id, work = std::move(work)]() -> TaskRunner::Continuation {
    Apply apply = work();
    return [page, id, apply = std::move(apply)] {
      if (!page || id != page->m_runId || !page->m_running) return;
      if (apply) apply(*page);
    };
  });
  if (!started) {
    m_view->end(false);
    return false;
  }
  m_running = true;
  setControlsEnabled(false);
  return true;
}

void WaveletPage::finishRun(const WaveletRunResult& result) {
  m_running = false;
  const bool stopped = result.status == WaveletRunStatus::Stopped ||
                       (m_context->progress() && m_context->progress()->sink().stopRequested());
  m_view->end(result.completed() && !stopped);
  setControlsEnabled(true);
  if (result.completed()) {
    m_filtered = result.output;
    const double fs = kWaveletSampleRateHz;  // the wavelet page works at 2 Hz whatever the records' rate
    m_chart12->setUniformData(m_chart12->series(QStringLiteral("Series23")), m_filtered, 0.0, 1.0 / fs / 60.0);
    m_btnSave->setEnabled(true);
  } else if (result.error && !stopped) {
    m_context->showError(QString::fromStdString(result.error->message));
  }
}

void WaveletPage::onStopPressed() {
  if (!m_running) return;
  methods()->stop();
  m_view->stop();
}

void WaveletPage::supersedeRun() {
  if (!m_running) return;
  methods()->stop();
  if (RunProgress* progress = m_context->progress()) progress->requestStop();
  ++m_runId;
  if (TaskRunner* runner = m_context->runner()) runner->cancelAndWait();
  m_running = false;
  m_view->end(false);
  setControlsEnabled(true);
}

void WaveletPage::setControlsEnabled(bool enabled) {
  for (QWidget* w :
       std::initializer_list<QWidget*>{m_btnSignal, m_btnSave, m_calc, m_presets[0], m_presets[1], m_presets[2]}) {
    w->setEnabled(enabled);
  }
  if (enabled) m_btnSave->setEnabled(!m_filtered.empty());
  setCursor(enabled ? Qt::ArrowCursor : Qt::BusyCursor);
}

void WaveletPage::saveDialog() {
  const QString name =
      QFileDialog::getSaveFileName(this, QStringLiteral("Save"), QString(), QStringLiteral("Text file (*.txt)"));
  if (name.isEmpty()) return;
  saveFiltered(name);
}

bool WaveletPage::saveFiltered(const QString& name) {
  if (m_filtered.empty() || m_running) return false;
  const std::string path = EnsureExtension(name.toStdString(), ".txt");
  RunProgress* progress = m_context->progress();
  if (progress) progress->begin();
  const auto error = SaveFilteredOutput(path, m_filtered, FileSeparator(),
                                        progress ? static_cast<ProgressSink&>(progress->sink()) : NullProgress());
  if (progress) progress->end();
  if (error) {
    m_context->showError(QString::fromStdString(error->message));
    return false;
  }
  return true;
}

void WaveletPage::refreshFromEngine() {
  TaskRunner* runner = m_context->runner();
  if (m_running || (runner && runner->isBusy())) return;
  WaveletFiltering& filtering = methods()->page();
  if (!filtering.signalLoaded()) return;
  // The wavelet conversion loads the engine without touching the page's filtering; a `WMorlPaul` of the Transform
  // page replaces the filtering's signal, which then becomes the page's signal (on the normalised scale) with
  // its own filtered output.
  if (m_loaded && filtering.signal() == m_pageSignal) return;
  m_loaded = true;
  m_pageSignal = filtering.signal();
  const double fs = kWaveletSampleRateHz;  // the wavelet page works at 2 Hz whatever the records' rate
  m_chart11->setUniformData(m_chart11->series(QStringLiteral("Series22")), m_pageSignal, 0.0, 1.0 / fs / 60.0);
  m_filtered = filtering.output();
  if (m_filtered.empty()) {
    m_chart12->clearAll();
  } else {
    m_chart12->setUniformData(m_chart12->series(QStringLiteral("Series23")), m_filtered, 0.0, 1.0 / fs / 60.0);
  }
  m_btnSave->setEnabled(!m_filtered.empty());
}

}  // namespace kelvora
