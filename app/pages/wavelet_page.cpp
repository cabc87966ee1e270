#include "pages/wavelet_page.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <cmath>

#include "shell/app_context.h"
#include "shell/page_run.h"
#include "core/frequency_band.h"
#include "shell/number_text.h"
#include "charts/plot_view.h"
#include "shell/run_progress.h"
#include "shell/run_progress_view.h"
#include "shell/signal_messages.h"
#include "formats/signal_file.h"
#include "core/text_helpers.h"
#include "shell/task_runner.h"
#include "wavelet/scale_table.h"
#include "charts/workspace_strip.h"

namespace kelvora {

namespace {

constexpr int kMarkerWidth = 8;

constexpr BandWorkspace::Names kNames{"TabSheet4", "BitBtn11", "BtnSaveW", "AutoSchetW", "SpeedButton15",
                                      {"SpeedButton16", "SpeedButton17", "SpeedButton18"}, "WaveletChartArea",
                                      "Chart11", "Series22", "Chart12", "Series23", "Image5", "Label27", "Label26",
                                      "EnF", "EnT"};

// The scale index shown for an edge frequency, at least 1.
int EdgeScaleIndex(double frequencyHz) { return std::max(1, FrequencyToScaleIndex(frequencyHz)); }

}  // namespace

WaveletPage::WaveletPage(AppContext* context, QWidget* parent) : BandWorkspace(context, kNames, parent) {
  m_view = new RunProgressView(context, this);
  buildControls();
  if (!m_context->waveletMethods()) m_ownMethods = std::make_shared<WaveletMethods>();
  // The page's runs show the elapsed and remaining times; superseding one stops the engine first.
  m_run->setDisplay({[this] { m_view->begin(); }, [this](bool completed) { m_view->end(completed); }});
  m_run->setStopHook([this] { methods()->stop(); });
  m_run->setKind(RunKind::Wavelet);
  if (RunProgress* progress = m_context->progress()) {
    connect(progress, &RunProgress::stopPressed, this, &WaveletPage::onStopPressed);
  }
  if (TaskRunner* runner = m_context->runner()) {
    // Once any run has ended, a record the Transform page filtered into the shared engine is shown.
    connect(runner, &TaskRunner::busyChanged, this, [this](bool busy) {
      if (!busy) QTimer::singleShot(0, this, [this] { refreshFromEngine(); });
    });
  }
}

// The window stops and waits for a running computation before its pages go; the shared context may already be
// gone here, so nothing of it is touched.
WaveletPage::~WaveletPage() = default;

WaveletMethods* WaveletPage::methods() const { return m_ownMethods ? m_ownMethods.get() : m_context->waveletMethods(); }

void WaveletPage::buildControls() {
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
  build(m_radioGroup);

  m_label28 = new QLabel(m_area);
  m_label28->setObjectName(QStringLiteral("Label28"));
  m_label28->setFrameShape(QFrame::Panel);
  m_label28->setFrameShadow(QFrame::Raised);
  m_label28->setAutoFillBackground(true);
  m_label28->setVisible(false);

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
}

void WaveletPage::layoutArea() { placeArea(std::max(10, m_area->width() - 5)); }

void WaveletPage::presetChosen(int index) { setBand(kPresets[index].band.low, kPresets[index].band.high); }

void WaveletPage::placeMarkers() {
  const int w = std::max(1, m_strip->width());
  if (!m_markersPlaced && m_lowHz == WaveletFiltering::kStartBand.low &&
      m_highHz == WaveletFiltering::kStartBand.high) {
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
  m_lowLabel->setText(FormatDecimal(m_lowHz));
  m_highLabel->setText(FormatDecimal(m_highHz));
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
                     QString::number(EdgeScaleIndex(m_highHz)) + QStringLiteral(") ") + m_lowLabel->text() +
                     QStringLiteral(" - ") + m_highLabel->text() + QStringLiteral(" Hz"));
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

bool WaveletPage::loadSignal(const QString& path) {
  if (!engineFree()) return false;
  SignalReadResult read = ReadSignalFile(path.toStdString(), false, DecimalFormat::ForSeparator(DecimalSeparatorByte()));
  if (!read.ok()) {
    m_context->showError(FileErrorText(*read.error, m_context->language()));
    return false;
  }
  if (!showSignal(read.record)) return false;
  if (read.truncated) m_context->showError(BigFileText(read, m_context->language()));
  calculate();
  return true;
}

int WaveletPage::signalRateHz() const { return static_cast<int>(kWaveletSampleRateHz); }

bool WaveletPage::loadRecord(SignalRecord record, bool truncated) {
  if (!engineFree() || record.empty()) return false;
  if (!showSignal(record)) return false;
  if (truncated) m_context->showError(ImportedBigFileText(m_context->language()));
  calculate();
  return true;
}

bool WaveletPage::engineFree() {
  TaskRunner* runner = m_context->runner();
  m_run->supersede();
  if (!runner) return false;
  // Another page's computation uses the engine's thread: nothing is read or changed.
  if (m_context->refuseWhileHeld()) return false;
  return true;
}

bool WaveletPage::showSignal(const SignalRecord& record) {
  // The engine refuses what it cannot hold before anything of the page changes.
  WaveletFiltering& filtering = methods()->page();
  filtering.setBand({m_lowHz, m_highHz});
  if (const auto error = filtering.loadSignal(record.normalized, WaveletSource::File)) {
    m_context->showError(ProblemText(*error, m_context->language()));
    return false;
  }
  m_pageSignal = record.normalized;
  m_loaded = true;
  m_filtered.clear();
  m_filterMade.reset();
  m_btnSave->setEnabled(false);
  const double fs = kWaveletSampleRateHz;  // the wavelet page works at 2 Hz whatever the records' rate
  m_signalChart->setUniformData(m_signalChart->series(QStringLiteral("Series22")), record.values, 0.0,
                                1.0 / fs / 60.0);
  m_filteredChart->clearAll();
  return true;
}

WaveletRunSettings WaveletPage::runSettings() const {
  WaveletRunSettings settings;
  settings.type = m_radioItems[1]->isChecked() ? WaveletType::Paul : WaveletType::Morlet;
  settings.threads = std::clamp(m_context->potoks(), kWaveletMinThreads, kWaveletMaxThreads);
  return settings;
}

bool WaveletPage::calculate() {
  m_run->supersede();
  // A run of the Transform page may have put its record into the shared engine: the page shows it first.
  refreshFromEngine();
  if (!m_loaded) return false;
  const WaveletRunSettings settings = runSettings();
  methods()->setFilterType(settings.type);
  const FrequencyBand band{m_lowHz, m_highHz};
  WaveletMethods* shared = methods();
  std::shared_ptr<WaveletMethods> keep = m_ownMethods;
  ProgressSink* sink = &m_run->sink();
  FilterProvenance made;
  made.method = FilterMethod::Wavelet;
  made.band = ApplyWaveletLowEdgeRule(band);
  made.wavelet = settings.type;
  made.sampleRateHz = static_cast<int>(kWaveletSampleRateHz);
  return m_run->start([this, shared, keep, band, settings, sink, made]() -> PageRun::Outcome {
    WaveletFiltering& filtering = shared->page();
    filtering.setBand(band);
    auto result = std::make_shared<WaveletRunResult>(filtering.calculate(settings, *sink));
    return {[this, result, made] { finishRun(*result, made); }, result->completed()};
  });
}

void WaveletPage::finishRun(const WaveletRunResult& result, const FilterProvenance& made) {
  const bool stopped = result.status == WaveletRunStatus::Stopped || m_run->sink().stopRequested();
  if (result.completed()) {
    m_filtered = result.output;
    m_filterMade = made;
    const double fs = kWaveletSampleRateHz;  // the wavelet page works at 2 Hz whatever the records' rate
    m_filteredChart->setUniformData(m_filteredChart->series(QStringLiteral("Series23")), m_filtered, 0.0,
                                    1.0 / fs / 60.0);
    m_btnSave->setEnabled(true);
  } else if (result.error && !stopped) {
    m_context->showError(ProblemText(*result.error, m_context->language()));
  }
}

void WaveletPage::onStopPressed() {
  if (!isBusy()) return;
  methods()->stop();
  m_view->stop();
}

bool WaveletPage::saveFiltered(const QString& name) {
  if (m_filtered.empty() || isBusy()) return false;
  const std::string path = EnsureExtension(name.toStdString(), ".txt");
  RunProgress* progress = m_context->progress();
  if (progress) progress->begin();
  const auto error = SaveFilteredOutput(path, m_filtered, DecimalSeparatorByte(),
                                        progress ? static_cast<ProgressSink&>(progress->sink()) : NullProgress());
  if (progress) progress->end();
  if (error) {
    m_context->showError(ProblemText(*error, m_context->language()));
    return false;
  }
  return true;
}

void WaveletPage::refreshFromEngine() {
  TaskRunner* runner = m_context->runner();
  if (isBusy() || (runner && runner->isBusy())) return;
  WaveletFiltering& filtering = methods()->page();
  if (!filtering.signalLoaded()) return;
  // The wavelet conversion loads the engine without touching the page's filtering; a `WMorlPaul` of the Transform
  // page replaces the filtering's signal with the T or BF record, which then becomes the page's signal (on the
  // normalised scale) with its own filtered output. The page's own file is shown already, in its own units.
  if (filtering.source() == WaveletSource::File) return;
  if (m_loaded && filtering.signal() == m_pageSignal) return;
  m_loaded = true;
  m_pageSignal = filtering.signal();
  const double fs = kWaveletSampleRateHz;  // the wavelet page works at 2 Hz whatever the records' rate
  m_signalChart->setUniformData(m_signalChart->series(QStringLiteral("Series22")), m_pageSignal, 0.0,
                                1.0 / fs / 60.0);
  m_filtered = filtering.output();
  // The Transform page's wavelet filtering made it: its band and the wavelet filter type it ran with.
  FilterProvenance made;
  made.method = FilterMethod::Wavelet;
  made.band = filtering.band();
  made.wavelet = methods()->filterType();
  made.sampleRateHz = static_cast<int>(kWaveletSampleRateHz);
  m_filterMade = made;
  if (m_filtered.empty()) {
    m_filteredChart->clearAll();
  } else {
    m_filteredChart->setUniformData(m_filteredChart->series(QStringLiteral("Series23")), m_filtered, 0.0,
                                    1.0 / fs / 60.0);
  }
  m_btnSave->setEnabled(!m_filtered.empty());
}

}  // namespace kelvora
