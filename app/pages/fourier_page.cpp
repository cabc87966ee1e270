#include "pages/fourier_page.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "shell/app_context.h"
#include "core/band_transform.h"
#include "core/frequency_band.h"
#include "shell/number_text.h"
#include "charts/plot_view.h"
#include "shell/run_progress.h"
#include "shell/signal_messages.h"
#include "charts/fourier_bars_chart.h"
#include "shell/page_run.h"
#include "formats/signal_file.h"
#include "core/text_helpers.h"
#include "charts/width_animation.h"
#include "charts/workspace_strip.h"

namespace kelvora {

namespace {

// Pixels on each side of an edge that grab it.
constexpr int kGrabHalfWidth = 8;
// Band of the amplitude filter, Hz.
constexpr FrequencyBand kAmplitudeBand{0.0, 1.0};

constexpr BandWorkspace::Names kNames{"TabSheet2", "BitBtn25", "BtnSaveF", "AutoSchet", "SpeedButton12",
                                      {"SpeedButton1", "SpeedButton10", "SpeedButton11"}, "FourierChartArea",
                                      "Chart5", "Series7", "Chart6", "Series8", "Image2", "Label19", "Label20",
                                      "FEnF", "FEnT"};

}  // namespace

// The page's transform and filter; shared with a running computation so that it outlives the page if need be.
struct FourierPage::Engine {
  BandTransform transform;
  BandFilter filter{transform};
};

FourierPage::FourierPage(AppContext* context, QWidget* parent)
    : BandWorkspace(context, kNames, parent), m_engine(std::make_shared<Engine>()) {
  buildControls();
  m_animation = new WidthAnimation("FourierPlotTimer", this);
  connect(m_context, &AppContext::logOxChanged, this, [this](bool on) {
    if (m_logOx->isChecked() != on) m_logOx->setChecked(on);
  });
  m_logOx->setChecked(m_context->logOx());
  applyLogOx(m_context->logOx());
  showEdgeTexts();
}

FourierPage::~FourierPage() = default;

void FourierPage::buildControls() {
  m_radioGroup = new QGroupBox(this);
  m_radioGroup->setObjectName(QStringLiteral("RadioGroupFF"));
  // The two modes stack, so that the tool row fits a 1000-pixel window without cutting their captions.
  auto* radios = new QVBoxLayout(m_radioGroup);
  radios->setContentsMargins(6, 1, 6, 1);
  radios->setSpacing(0);
  m_radioItems[0] = new QRadioButton(QStringLiteral("Frequence filtering"), m_radioGroup);
  m_radioItems[1] = new QRadioButton(QStringLiteral("Amplitude filtering"), m_radioGroup);
  m_radioItems[0]->setObjectName(QStringLiteral("RadioGroupFFItem0"));
  m_radioItems[1]->setObjectName(QStringLiteral("RadioGroupFFItem1"));
  m_radioItems[0]->setChecked(true);
  radios->addWidget(m_radioItems[0]);
  radios->addWidget(m_radioItems[1]);
  QHBoxLayout* row = build(m_radioGroup);

  m_popup = new QMenu(this);
  m_popup->setObjectName(QStringLiteral("PopupMenu1"));
  m_popup->setToolTipsVisible(true);
  for (int i = 0; i < 3; ++i) {
    m_presetItems[i] = m_popup->addAction(QString::fromLatin1(kPresets[i].text));
    m_presetItems[i]->setObjectName(QStringLiteral("PopupItem") + QString::fromLatin1(kPresets[i].text));
    m_presetItems[i]->setToolTip(QString::fromLatin1(kPresets[i].hint));
    const FrequencyBand band = kPresets[i].band;
    connect(m_presetItems[i], &QAction::triggered, this, [this, band] { setBand(band.low, band.high); });
  }
  m_showSpectrum = new QCheckBox(QStringLiteral("Show Spectrum"), this);
  m_showSpectrum->setObjectName(QStringLiteral("CheckSPKTR"));
  m_logOx = new QCheckBox(QStringLiteral("Log Ox"), this);
  m_logOx->setObjectName(QStringLiteral("CheckBox6"));
  m_edit19 = new QLineEdit(QStringLiteral("2"), this);
  m_edit19->setObjectName(QStringLiteral("Edit19"));
  m_edit19->setFixedWidth(56);
  m_label21 = new QLabel(QStringLiteral("Hz"), this);
  m_label21->setObjectName(QStringLiteral("Label21"));
  for (QWidget* w :
       {static_cast<QWidget*>(m_logOx), static_cast<QWidget*>(m_edit19), static_cast<QWidget*>(m_label21)}) {
    w->setVisible(false);
  }
  row->addWidget(m_showSpectrum);
  row->addWidget(m_logOx);
  row->addWidget(m_edit19);
  row->addWidget(m_label21);

  m_chart9 = new SpectrumChart(QStringLiteral("Chart9"), QStringLiteral("Series16"), m_area);
  m_chart9->chart()->setTitle(QStringLiteral("Spectrum Signal"));
  m_chart10 = new SpectrumChart(QStringLiteral("Chart10"), QStringLiteral("Series17"), m_area);
  m_chart10->chart()->setTitle(QStringLiteral("Spectrum Filtered Signal"));
  m_chart9->setVisible(false);
  m_chart10->setVisible(false);

  m_strip->setContextMenuPolicy(Qt::CustomContextMenu);
  m_label18 = new QLabel(m_area);
  m_label18->setObjectName(QStringLiteral("Label18"));
  m_label18->setAlignment(Qt::AlignCenter);
  m_panel14 = new QLabel(m_area);
  m_panel14->setObjectName(QStringLiteral("Panel14"));
  m_panel14->setFrameShape(QFrame::Panel);
  m_panel14->setFrameShadow(QFrame::Raised);
  m_panel14->setAutoFillBackground(true);
  m_panel14->setAlignment(Qt::AlignCenter);
  m_panel14->setVisible(false);

  for (int i = 0; i < 2; ++i) {
    connect(m_radioItems[i], &QRadioButton::clicked, this, [this, i] { setMode(static_cast<Mode>(i)); });
  }
  connect(m_strip, &WorkspaceStrip::mousePressed, this, &FourierPage::onStripPressed);
  connect(m_strip, &WorkspaceStrip::mouseMoved, this, &FourierPage::onStripMoved);
  connect(m_strip, &WorkspaceStrip::mouseReleased, this, &FourierPage::onStripReleased);
  connect(m_strip, &WorkspaceStrip::resized, this, &FourierPage::onStripResized);
  connect(m_strip, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { m_popup->popup(m_strip->mapToGlobal(at)); });
  connect(m_showSpectrum, &QCheckBox::clicked, this, &FourierPage::onShowSpectrum);
  connect(m_logOx, &QCheckBox::toggled, this, &FourierPage::onLogOx);
  connect(m_edit19, &QLineEdit::textChanged, this, [this](const QString& text) {
    bool ok = false;
    const double value = ParseDecimal(text, &ok);
    if (ok && value > 0.0) {
      m_chart9->setAxisMaximum(value);
      m_chart10->setAxisMaximum(value);
    }
  });
}

// A preset button is a click on the popup item of the same preset.
void FourierPage::presetChosen(int index) { m_presetItems[index]->trigger(); }

int FourierPage::stripWidth() const { return std::max(1, m_strip->width()); }

int FourierPage::signalTargetWidth() const {
  const int w = m_area->width();
  return m_layoutState == SpectrumShown ? static_cast<int>(std::lround((w - 5) / 3.0 * 2.0)) : std::max(10, w - 5);
}

void FourierPage::layoutArea() {
  const int full = std::max(10, m_area->width() - 5);
  const int signalWidth = m_signalWidth >= 0 ? m_signalWidth : signalTargetWidth();
  const AreaRows rows = placeArea(signalWidth);
  const int spectrumWidth = full - signalWidth;
  const bool spectrumVisible = spectrumWidth > 20;
  m_chart9->setVisible(spectrumVisible);
  m_chart10->setVisible(spectrumVisible);
  if (spectrumVisible) {
    m_chart9->setGeometry(signalWidth, 0, spectrumWidth, rows.chartHeight);
    m_chart10->setGeometry(signalWidth, rows.lowerTop, spectrumWidth, rows.lowerHeight);
  }
  m_label18->setGeometry(full / 2 - 100, rows.labelsTop, 200, rows.stripTop - rows.labelsTop);
  if (m_panel14->isVisible()) m_panel14->raise();
}

void FourierPage::onStripResized(int width) {
  if (m_stripWidthSeen <= 0) {
    m_lowX = m_lowHz <= 0.0 ? 0 : static_cast<int>(std::lround(FrequencyPixel(m_lowHz, width)));
    m_highX = static_cast<int>(std::lround(FrequencyPixel(m_highHz, width)));
  } else if (width != m_stripWidthSeen) {
    m_lowX = static_cast<int>(std::lround(static_cast<double>(m_lowX) * width / m_stripWidthSeen));
    m_highX = static_cast<int>(std::lround(static_cast<double>(m_highX) * width / m_stripWidthSeen));
  }
  m_stripWidthSeen = width;
  m_strip->setMarkers(m_lowX, m_highX);
}

void FourierPage::showEdgeTexts() {
  const int w = stripWidth();
  if (m_mode == Mode::Frequency) {
    m_lowLabel->setText(FormatDecimal(m_lowHz));
    m_highLabel->setText(FormatDecimal(m_highHz));
    m_panel14->setText(m_lowLabel->text() + QStringLiteral(" - ") + m_highLabel->text() + QStringLiteral(" Hz"));
  } else {
    m_lowLabel->setText(FormatDecimal(m_lowPercent));
    m_highLabel->setText(FormatDecimal(m_highPercent));
    m_panel14->setText(m_lowLabel->text() + QStringLiteral(" - ") + m_highLabel->text() + QStringLiteral(" %"));
  }
  m_label18->setText(FormatDecimal(static_cast<double>(m_lowX) / w, 3) + QStringLiteral("-") +
                     FormatDecimal(static_cast<double>(m_highX) / w, 3));
}

void FourierPage::onStripPressed(int x, Qt::MouseButton button) {
  if (button != Qt::LeftButton) return;
  const int toLeft = std::abs(x - m_lowX);
  const int toRight = std::abs(x - m_highX);
  m_leftGrabbed = toLeft <= kGrabHalfWidth;
  m_rightGrabbed = toRight <= kGrabHalfWidth;
  // Edges within reach of each other: the nearer one moves (the right one on a tie, so a band squeezed to the
  // left end can be opened again).
  if (m_leftGrabbed && m_rightGrabbed) {
    if (toLeft < toRight) {
      m_rightGrabbed = false;
    } else {
      m_leftGrabbed = false;
    }
  }
  if (m_leftGrabbed || m_rightGrabbed) {
    m_dragging = true;
    m_strip->setCursor(Qt::SizeHorCursor);
    m_panel14->setVisible(true);
    m_panel14->raise();
  }
}

void FourierPage::onStripMoved(int x) {
  if (!m_dragging) return;
  const int w = stripWidth();
  if (m_leftGrabbed) {
    m_lowX = std::clamp(x, 0, std::max(0, m_highX - 2));
  } else if (m_rightGrabbed) {
    m_highX = std::clamp(x, std::min(w, m_lowX + 2), w);
  }
  if (m_mode == Mode::Frequency) {
    m_lowHz = FourierEdgeFrequency(m_lowX, w);
    m_highHz = FourierEdgeFrequency(m_highX, w);
  } else {
    m_lowPercent = AmplitudeLowPercent(m_lowX, w);
    m_highPercent = AmplitudeHighPercent(m_highX, w);
  }
  m_strip->setMarkers(m_lowX, m_highX);
  showEdgeTexts();
  m_panel14->adjustSize();
  m_panel14->resize(m_panel14->width() + 16, 22);
  const int px =
      std::clamp(m_strip->x() + x - m_panel14->width() / 2, 0, std::max(0, m_area->width() - m_panel14->width()));
  m_panel14->move(px, m_strip->y() - 24);
  m_panel14->raise();
}

void FourierPage::onStripReleased(int) {
  m_strip->setCursor(Qt::PointingHandCursor);
  const bool wasDragging = m_dragging;
  m_panel14->setVisible(false);
  m_dragging = m_leftGrabbed = m_rightGrabbed = false;
  if (wasDragging && m_loaded && m_auto->isChecked()) calculate();
}

void FourierPage::setMode(Mode mode) {
  const bool changed = mode != m_mode;
  m_mode = mode;
  m_radioItems[static_cast<int>(mode)]->setChecked(true);
  m_strip->setScale(mode == Mode::Frequency ? WorkspaceStrip::Scale::Frequency : WorkspaceStrip::Scale::Amplitude);
  const int w = stripWidth();
  if (mode == Mode::Amplitude) {
    m_lowPercent = AmplitudeLowPercent(m_lowX, w);
    m_highPercent = AmplitudeHighPercent(m_highX, w);
  } else if (changed) {
    m_lowHz = m_lowX <= 0 ? 0.0 : FourierEdgeFrequency(m_lowX, w);
    m_highHz = FourierEdgeFrequency(m_highX, w);
  }
  showEdgeTexts();
  if (changed && mode == Mode::Amplitude && m_loaded && m_chart9->bars().empty()) computeAmplitudeSpectrum();
  if (m_dragging && m_loaded && m_auto->isChecked()) calculate();
}

void FourierPage::setBand(double lowHz, double highHz) {
  m_lowHz = lowHz;
  m_highHz = highHz;
  const int w = stripWidth();
  m_lowX = lowHz <= 0.0 ? 0 : static_cast<int>(std::lround(FrequencyPixel(lowHz, w)));
  m_highX = std::min(w, static_cast<int>(std::lround(FrequencyPixel(highHz, w))));
  if (m_mode == Mode::Amplitude) {
    m_lowPercent = AmplitudeLowPercent(m_lowX, w);
    m_highPercent = AmplitudeHighPercent(m_highX, w);
  }
  m_strip->setMarkers(m_lowX, m_highX);
  showEdgeTexts();
  if (m_mode == Mode::Frequency) {
    m_lowLabel->setText(FormatDecimal(lowHz));
    m_highLabel->setText(FormatDecimal(highHz));
  }
  layoutArea();
  if (m_loaded) calculate();
}

bool FourierPage::loadSignal(const QString& path) {
  if (isBusy()) return false;
  const char separator = DecimalSeparatorByte();
  SignalReadResult read = ReadSignalFile(path.toStdString(), false, DecimalFormat::ForSeparator(separator));
  if (!read.ok()) {
    m_context->showError(FileErrorText(*read.error, m_context->language()));
    return false;
  }
  if (read.record.empty()) {
    m_context->showError(QStringLiteral("The file holds no samples: ") + path);
    return false;
  }
  showSignal(std::move(read.record));
  if (read.truncated) m_context->showError(BigFileText(read, m_context->language()));
  showSpectrumOfSignal();
  return true;
}

int FourierPage::signalRateHz() const { return m_context->gerc(); }

bool FourierPage::loadRecord(SignalRecord record, bool truncated) {
  if (isBusy() || record.empty()) return false;
  showSignal(std::move(record));
  if (truncated) m_context->showError(ImportedBigFileText(m_context->language()));
  showSpectrumOfSignal();
  return true;
}

void FourierPage::showSignal(SignalRecord record) {
  m_signal = std::move(record);
  m_loaded = true;
  m_engine->transform.clearFourierPageSlots();
  m_filteredUnits.clear();
  m_filterMade.reset();
  m_filteredRaised.clear();
  m_btnSave->setEnabled(false);
  const double fs = m_context->gerc();
  m_signalChart->setUniformData(m_signalChart->series(QStringLiteral("Series7")), m_signal.values, 0.0,
                                1.0 / fs / 60.0);
  m_filteredChart->clearAll();
  m_chart9->clearBars();
  m_chart10->clearBars();
}

void FourierPage::showSpectrumOfSignal() {
  // The 0 .. 1 Hz spectrum: the amplitude filter's reference, and what "Show Spectrum" shows in either mode.
  if (m_mode == Mode::Amplitude || m_showSpectrum->isChecked()) computeAmplitudeSpectrum();
}

void FourierPage::computeAmplitudeSpectrum() {
  if (!m_loaded) return;
  std::shared_ptr<Engine> engine = m_engine;
  std::vector<double> x = m_signal.normalized;
  const int fs = m_context->gerc();
  ProgressSink* sink = &m_run->sink();
  m_run->setKind(RunKind::Fourier);
  m_run->start([this, engine, x = std::move(x), fs, sink]() -> PageRun::Outcome {
    engine->transform.setBand(kFourierAmplitudeSlot, kAmplitudeBand);
    const BandSpectrum spectrum = engine->transform.transform(kFourierAmplitudeSlot, x, fs, *sink);
    auto bars = std::make_shared<std::vector<SpectrumBar>>();
    for (int k = std::max(1, spectrum.lowBin); k <= spectrum.highBin; ++k) {
      bars->push_back({spectrum.frequencies[static_cast<size_t>(k)],
                       static_cast<double>(Modulus(spectrum.coefficients[static_cast<size_t>(k)]))});
    }
    return {[this, bars] { m_chart9->setBars(std::move(*bars)); }};
  });
}

void FourierPage::calculate() {
  if (!m_loaded || isBusy()) return;
  const bool amplitude = m_mode == Mode::Amplitude;
  BandFilterRequest request;
  request.slot = amplitude ? kFourierAmplitudeSlot : kFourierFrequencySlot;
  request.signal = m_signal.normalized;
  request.minimum = m_signal.minimum;
  request.maximum = m_signal.maximum;
  request.sampleRateHz = m_context->gerc();
  request.amplitudeLowPercent = m_lowPercent;
  request.amplitudeHighPercent = m_highPercent;
  const FrequencyBand band = amplitude ? kAmplitudeBand : FrequencyBand{m_lowHz, m_highHz};
  FilterProvenance made;
  made.method = amplitude ? FilterMethod::FourierAmplitude : FilterMethod::FourierFrequency;
  made.band = band;
  made.amplitudeLowPercent = m_lowPercent;
  made.amplitudeHighPercent = m_highPercent;
  made.sampleRateHz = request.sampleRateHz;
  std::shared_ptr<Engine> engine = m_engine;
  ProgressSink* sink = &m_run->sink();
  m_run->setKind(RunKind::Fourier);
  m_run->start([this, engine, request = std::move(request), band, sink, made]() -> PageRun::Outcome {
    engine->transform.setBand(request.slot, band);
    auto result = std::make_shared<BandFilterResult>(engine->filter.run(request, *sink));
    return {[this, result, made] { showFiltered(std::move(*result), made); }};
  });
}

void FourierPage::showFiltered(BandFilterResult result, const FilterProvenance& made) {
  if (!result.ok()) {
    if (m_context->progress() && m_context->progress()->sink().stopRequested()) return;
    m_context->showError(QStringLiteral("The signal cannot be filtered"));
    return;
  }
  for (double v : result.signalUnits) {
    if (!std::isfinite(v)) {
      m_context->showError(QStringLiteral("The filtered signal is not finite"));
      return;
    }
  }
  m_filteredUnits = std::move(result.signalUnits);
  m_filterMade = made;
  m_filteredRaised = std::move(result.filtered);
  const double fs = m_context->gerc();
  m_filteredChart->setUniformData(m_filteredChart->series(QStringLiteral("Series8")), m_filteredUnits, 0.0,
                                  1.0 / fs / 60.0);
  m_chart10->setBars(std::move(result.bars));
  m_btnSave->setEnabled(true);
}

bool FourierPage::saveFiltered(const QString& name) {
  if (m_filteredUnits.empty()) return false;
  const std::string path = EnsureExtension(name.toStdString(), ".txt");
  const char separator = DecimalSeparatorByte();
  const auto error = WriteSignalFile(m_filteredUnits, static_cast<int>(m_filteredUnits.size()) - 1, path, separator,
                                     ValuePrecision::kThreeDecimals);
  if (error) {
    m_context->showError(FileErrorText(*error, m_context->language()));
    return false;
  }
  return true;
}

void FourierPage::showBusy(bool busy) {
  BandWorkspace::showBusy(busy);
  for (QAction* item : m_presetItems) item->setEnabled(!busy);
  m_strip->setCursor(busy ? Qt::BusyCursor : Qt::PointingHandCursor);
}

void FourierPage::onShowSpectrum() {
  const bool shown = m_showSpectrum->isChecked();
  for (QWidget* w :
       {static_cast<QWidget*>(m_logOx), static_cast<QWidget*>(m_edit19), static_cast<QWidget*>(m_label21)}) {
    w->setVisible(w->isHidden());
  }
  const int current = m_signalChart->width();
  m_layoutState = shown ? SpectrumShown : SpectrumHidden;
  if (m_context->animation() && isVisible()) {
    m_signalWidth = current;
    m_animation->start(
        current, [this] { return signalTargetWidth(); },
        [this](int width) {
          m_signalWidth = width;
          layoutArea();
        },
        [this] { m_signalWidth = -1; });
  } else {
    m_signalWidth = -1;
    m_animation->stop();
  }
  layoutArea();
  if (shown && m_loaded && m_chart9->bars().empty()) computeAmplitudeSpectrum();
}

void FourierPage::onLogOx(bool on) {
  m_context->setLogOx(on);
  applyLogOx(on);
}

void FourierPage::applyLogOx(bool on) {
  m_chart9->setLogarithmic(on);
  m_chart10->setLogarithmic(on);
  const QSignalBlocker block(m_edit19);
  m_edit19->setText(on ? FormatDecimal(0.1) : QStringLiteral("2"));
}

}  // namespace kelvora
