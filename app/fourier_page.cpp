#include "fourier_page.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app_context.h"
#include "signal_buttons.h"
#include "page_run.h"
#include "core/band_transform.h"
#include "core/frequency_band.h"
#include "number_text.h"
#include "plot_view.h"
#include "run_progress.h"
#include "signal_messages.h"
#include "signals/signal_file.h"
#include "core/text_helpers.h"
#include "fourier_bars_chart.h"
#include "task_runner.h"
#include "workspace_strip.h"

namespace kelvora {

namespace {

// Pixels on each side of an edge that grab it.
constexpr int kGrabHalfWidth = 8;
// Height of the strip block: the edge labels above the strip and the strip itself.
constexpr int kLabelRowHeight = 18;
constexpr int kStripHeight = 49;
constexpr int kAnimationIntervalMs = 20;
// Band of the amplitude filter, Hz.
constexpr FrequencyBand kAmplitudeBand{0.0, 1.0};

struct Preset {
  const char* button;
  const char* text;
  FrequencyBand band;
  const char* hint;
};
constexpr Preset kPresets[3] = {{"SpeedButton1", "Endothelial", kEndothelialBand, "0.005-0.02 Hz"},
                                {"SpeedButton10", "Neurogenic", kNeurogenicBand, "0.02-0.05 Hz"},
                                {"SpeedButton11", "Myogenic", kMyogenicBand, "0.05-0.15 Hz"}};

}  // namespace

// The page's transform and filter; shared with a running computation so that it outlives the page if need be.
struct FourierPage::Engine {
  BandTransform transform;
  BandFilter filter{transform};
};

FourierPage::FourierPage(AppContext* context, QWidget* parent)
    : QWidget(parent), m_context(context), m_engine(std::make_shared<Engine>()) {
  setObjectName(QStringLiteral("TabSheet2"));
  buildControls();
  m_animation.setObjectName(QStringLiteral("FourierPlotTimer"));
  m_animation.setInterval(kAnimationIntervalMs);
  connect(&m_animation, &QTimer::timeout, this, &FourierPage::animateStep);
  connect(m_context, &AppContext::logOxChanged, this, [this](bool on) {
    if (m_logOx->isChecked() != on) m_logOx->setChecked(on);
  });
  connect(m_context, &AppContext::gercChanged, this,
          [this](int hz) { m_btnSignal->setToolTip(QString::number(hz) + QStringLiteral(" Hz")); });
  if (TaskRunner* runner = m_context->runner()) {
    // A run dropped without its result (the window closing, a superseding run) must not leave the page disabled.
    connect(runner, &TaskRunner::busyChanged, this, [this](bool busy) {
      if (busy || !m_busy) return;
      QTimer::singleShot(0, this, [this] {
        if (m_busy && !(m_context->runner() && m_context->runner()->isBusy())) setBusy(false);
      });
    });
  }
  m_logOx->setChecked(m_context->logOx());
  applyLogOx(m_context->logOx());
  showEdgeTexts();
}

FourierPage::~FourierPage() = default;

void FourierPage::buildControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);

  auto* row = new QHBoxLayout;
  row->setSpacing(6);
  MakeSignalButtons(this, "BitBtn25", "BtnSaveF", m_context->gerc(), m_btnSignal, m_btnSave);

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

  m_auto = new QCheckBox(QStringLiteral("Automatic"), this);
  m_auto->setObjectName(QStringLiteral("AutoSchet"));
  m_auto->setChecked(true);
  m_calc = new QToolButton(this);
  m_calc->setObjectName(QStringLiteral("SpeedButton12"));
  m_calc->setText(QStringLiteral("Calculation"));

  m_popup = new QMenu(this);
  m_popup->setObjectName(QStringLiteral("PopupMenu1"));
  m_popup->setToolTipsVisible(true);

  row->addWidget(m_btnSignal);
  row->addWidget(m_btnSave);
  row->addWidget(m_radioGroup);
  row->addWidget(m_auto);
  row->addWidget(m_calc);
  for (int i = 0; i < 3; ++i) {
    m_presetItems[i] = m_popup->addAction(QString::fromLatin1(kPresets[i].text));
    m_presetItems[i]->setObjectName(QStringLiteral("PopupItem") + QString::fromLatin1(kPresets[i].text));
    m_presetItems[i]->setToolTip(QString::fromLatin1(kPresets[i].hint));
    const FrequencyBand band = kPresets[i].band;
    connect(m_presetItems[i], &QAction::triggered, this, [this, band] { setBand(band.low, band.high); });
    m_presets[i] = new QToolButton(this);
    m_presets[i]->setObjectName(QString::fromLatin1(kPresets[i].button));
    m_presets[i]->setText(QString::fromLatin1(kPresets[i].text));
    m_presets[i]->setToolTip(QString::fromLatin1(kPresets[i].hint));
    // A preset button is a click on the popup item of the same preset.
    connect(m_presets[i], &QToolButton::clicked, m_presetItems[i], &QAction::trigger);
    row->addWidget(m_presets[i]);
  }
  row->addStretch(1);
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
  layout->addLayout(row);

  m_area = new QWidget(this);
  m_area->setObjectName(QStringLiteral("FourierChartArea"));
  m_area->installEventFilter(this);
  layout->addWidget(m_area, 1);

  m_chart5 = new PlotView(QStringLiteral("Chart5"), m_area);
  m_chart5->setTitle(QStringLiteral("Signal"));
  m_chart5->setBottomTitle(QStringLiteral("t, min"));
  m_chart5->addLineSeries(QStringLiteral("Series7"), QColor(0xc0, 0x20, 0x20));
  m_chart6 = new PlotView(QStringLiteral("Chart6"), m_area);
  m_chart6->setTitle(QStringLiteral("Filtered Signal"));
  m_chart6->setBottomTitle(QStringLiteral("t, min"));
  m_chart6->addLineSeries(QStringLiteral("Series8"), QColor(0x10, 0x60, 0x10));
  m_chart9 = new SpectrumChart(QStringLiteral("Chart9"), QStringLiteral("Series16"), m_area);
  m_chart9->chart()->setTitle(QStringLiteral("Spectrum Signal"));
  m_chart10 = new SpectrumChart(QStringLiteral("Chart10"), QStringLiteral("Series17"), m_area);
  m_chart10->chart()->setTitle(QStringLiteral("Spectrum Filtered Signal"));
  m_chart9->setVisible(false);
  m_chart10->setVisible(false);

  m_strip = new WorkspaceStrip(QStringLiteral("Image2"), m_area);
  m_strip->setContextMenuPolicy(Qt::CustomContextMenu);
  m_label18 = new QLabel(m_area);
  m_label18->setObjectName(QStringLiteral("Label18"));
  m_label18->setAlignment(Qt::AlignCenter);
  m_label19 = new QLabel(QStringLiteral("0"), m_area);
  m_label19->setObjectName(QStringLiteral("Label19"));
  m_label20 = new QLabel(FormatDecimal(0.02), m_area);
  m_label20->setObjectName(QStringLiteral("Label20"));
  m_label20->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  m_panel14 = new QLabel(m_area);
  m_panel14->setObjectName(QStringLiteral("Panel14"));
  m_panel14->setFrameShape(QFrame::Panel);
  m_panel14->setFrameShadow(QFrame::Raised);
  m_panel14->setAutoFillBackground(true);
  m_panel14->setAlignment(Qt::AlignCenter);
  m_panel14->setVisible(false);

  connect(m_btnSignal, &QPushButton::clicked, this, &FourierPage::readSignal);
  connect(m_btnSave, &QPushButton::clicked, this, &FourierPage::saveSignal);
  connect(m_calc, &QToolButton::clicked, this, &FourierPage::calculate);
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

  // FEnF / FEnT: the page's signal, save and preset controls off and on around a computation.
  auto* fEnF = new QAction(this);
  fEnF->setObjectName(QStringLiteral("FEnF"));
  connect(fEnF, &QAction::triggered, this, [this] { setBusy(true); });
  auto* fEnT = new QAction(this);
  fEnT->setObjectName(QStringLiteral("FEnT"));
  connect(fEnT, &QAction::triggered, this, [this] { setBusy(false); });
}

bool FourierPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_area && event->type() == QEvent::Resize) layoutArea();
  return QWidget::eventFilter(watched, event);
}

int FourierPage::stripWidth() const { return std::max(1, m_strip->width()); }

void FourierPage::layoutArea() {
  const int w = m_area->width();
  const int h = m_area->height();
  const int full = std::max(10, w - 5);
  const int target = m_layoutState == SpectrumShown ? static_cast<int>(std::lround((w - 5) / 3.0 * 2.0)) : full;
  const int signalWidth = m_signalWidth >= 0 ? m_signalWidth : target;
  const int spectrumWidth = full - signalWidth;
  const int chartHeight = std::max(60, (h - kLabelRowHeight - kStripHeight - 6) / 2);

  m_chart5->setGeometry(0, 0, signalWidth, chartHeight);
  const int labelsTop = chartHeight + 2;
  const int stripTop = labelsTop + kLabelRowHeight;
  const int lowerTop = stripTop + kStripHeight + 2;
  m_chart6->setGeometry(0, lowerTop, signalWidth, std::max(60, h - lowerTop));
  const bool spectrumVisible = spectrumWidth > 20;
  m_chart9->setVisible(spectrumVisible);
  m_chart10->setVisible(spectrumVisible);
  if (spectrumVisible) {
    m_chart9->setGeometry(signalWidth, 0, spectrumWidth, chartHeight);
    m_chart10->setGeometry(signalWidth, lowerTop, spectrumWidth, std::max(60, h - lowerTop));
  }
  m_label19->setGeometry(2, labelsTop, 200, kLabelRowHeight);
  m_label20->setGeometry(full - 200, labelsTop, 198, kLabelRowHeight);
  m_label18->setGeometry(full / 2 - 100, labelsTop, 200, kLabelRowHeight);
  m_strip->setGeometry(0, stripTop, full, kStripHeight);
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
    m_label19->setText(FormatDecimal(m_lowHz));
    m_label20->setText(FormatDecimal(m_highHz));
    m_panel14->setText(m_label19->text() + QStringLiteral(" - ") + m_label20->text() + QStringLiteral(" Hz"));
  } else {
    m_label19->setText(FormatDecimal(m_lowPercent));
    m_label20->setText(FormatDecimal(m_highPercent));
    m_panel14->setText(m_label19->text() + QStringLiteral(" - ") + m_label20->text() + QStringLiteral(" %"));
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
    m_label19->setText(FormatDecimal(lowHz));
    m_label20->setText(FormatDecimal(highHz));
  }
  layoutArea();
  if (m_loaded) calculate();
}

void FourierPage::readSignal() {
  const QString path =
      QFileDialog::getOpenFileName(this, QStringLiteral("Signal"), QString(), QStringLiteral("Text file (*.txt)"));
  if (path.isEmpty()) return;
  loadSignal(path);
}

bool FourierPage::loadSignal(const QString& path) {
  if (m_busy) return false;
  const char separator = DecimalSeparator().toLatin1() ? DecimalSeparator().toLatin1() : '.';
  SignalReadResult read = ReadSignalFile(path.toStdString(), false, DecimalFormat::ForSeparator(separator));
  if (!read.ok()) {
    m_context->showError(SignalErrorText(*read.error));
    return false;
  }
  if (read.record.empty()) {
    m_context->showError(QStringLiteral("The file holds no samples: ") + path);
    return false;
  }
  m_signal = std::move(read.record);
  m_loaded = true;
  m_engine->transform.clearFourierPageSlots();
  m_filteredUnits.clear();
  m_filteredRaised.clear();
  m_btnSave->setEnabled(false);
  const double fs = m_context->gerc();
  m_chart5->setUniformData(m_chart5->series(QStringLiteral("Series7")), m_signal.values, 0.0, 1.0 / fs / 60.0);
  m_chart6->clearAll();
  m_chart9->clearBars();
  m_chart10->clearBars();
  if (read.truncated) m_context->showError(QString::fromStdString(read.warning));
  // The 0 .. 1 Hz spectrum: the amplitude filter's reference, and what "Show Spectrum" shows in either mode.
  if (m_mode == Mode::Amplitude || m_showSpectrum->isChecked()) computeAmplitudeSpectrum();
  return true;
}

void FourierPage::computeAmplitudeSpectrum() {
  if (!m_loaded) return;
  std::shared_ptr<Engine> engine = m_engine;
  std::vector<double> x = m_signal.normalized;
  const int fs = m_context->gerc();
  ProgressSink* sink = m_context->progress() ? &m_context->progress()->sink() : &NullProgress();
  startRun([engine, x = std::move(x), fs, sink]() -> Apply {
    engine->transform.setBand(kFourierAmplitudeSlot, kAmplitudeBand);
    const BandSpectrum spectrum = engine->transform.transform(kFourierAmplitudeSlot, x, fs, *sink);
    auto bars = std::make_shared<std::vector<SpectrumBar>>();
    for (int k = std::max(1, spectrum.lowBin); k <= spectrum.highBin; ++k) {
      bars->push_back({spectrum.frequencies[static_cast<size_t>(k)],
                       static_cast<double>(Modulus(spectrum.coefficients[static_cast<size_t>(k)]))});
    }
    return [bars](FourierPage& page) { page.m_chart9->setBars(std::move(*bars)); };
  });
}

bool FourierPage::startRun(std::function<Apply()> work) {
  // The continuation runs only while the page exists, so it may use `this`.
  const bool started = StartPageRun(m_context, this, m_busy, [this, work = std::move(work)] {
    Apply apply = work();
    return std::function<void()>([this, apply = std::move(apply)] {
      endRun();
      if (apply) apply(*this);
    });
  });
  if (started) setBusy(true);
  return started;
}

void FourierPage::endRun() {
  EndPageRun(m_context);
  setBusy(false);
}

void FourierPage::calculate() {
  if (!m_loaded || m_busy) return;
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
  std::shared_ptr<Engine> engine = m_engine;
  ProgressSink* sink = m_context->progress() ? &m_context->progress()->sink() : &NullProgress();
  startRun([engine, request = std::move(request), band, sink]() -> Apply {
    engine->transform.setBand(request.slot, band);
    auto result = std::make_shared<BandFilterResult>(engine->filter.run(request, *sink));
    return [result](FourierPage& page) { page.showFiltered(std::move(*result)); };
  });
}

void FourierPage::showFiltered(BandFilterResult result) {
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
  m_filteredRaised = std::move(result.filtered);
  const double fs = m_context->gerc();
  m_chart6->setUniformData(m_chart6->series(QStringLiteral("Series8")), m_filteredUnits, 0.0, 1.0 / fs / 60.0);
  m_chart10->setBars(std::move(result.bars));
  m_btnSave->setEnabled(true);
}

void FourierPage::saveSignal() {
  const QString name =
      QFileDialog::getSaveFileName(this, QStringLiteral("Save"), QString(), QStringLiteral("Text file (*.txt)"));
  if (name.isEmpty()) return;
  saveFiltered(name);
}

bool FourierPage::saveFiltered(const QString& name) {
  if (m_filteredUnits.empty()) return false;
  const std::string path = EnsureExtension(name.toStdString(), ".txt");
  const char separator = DecimalSeparator().toLatin1() ? DecimalSeparator().toLatin1() : '.';
  const auto error = WriteSignalFile(m_filteredUnits, static_cast<int>(m_filteredUnits.size()) - 1, path, separator,
                                     ValuePrecision::kThreeDecimals);
  if (error) {
    m_context->showError(SignalErrorText(*error));
    return false;
  }
  return true;
}

void FourierPage::setBusy(bool busy) {
  m_busy = busy;
  for (QWidget* w :
       std::initializer_list<QWidget*>{m_btnSignal, m_btnSave, m_calc, m_presets[0], m_presets[1], m_presets[2]}) {
    w->setEnabled(!busy);
  }
  if (!busy) m_btnSave->setEnabled(!m_filteredUnits.empty());
  for (QAction* item : m_presetItems) item->setEnabled(!busy);
  setCursor(busy ? Qt::BusyCursor : Qt::ArrowCursor);
  m_strip->setCursor(busy ? Qt::BusyCursor : Qt::PointingHandCursor);
}

void FourierPage::onShowSpectrum() {
  const bool shown = m_showSpectrum->isChecked();
  for (QWidget* w :
       {static_cast<QWidget*>(m_logOx), static_cast<QWidget*>(m_edit19), static_cast<QWidget*>(m_label21)}) {
    w->setVisible(w->isHidden());
  }
  const int current = m_chart5->width();
  m_layoutState = shown ? SpectrumShown : SpectrumHidden;
  if (m_context->animation() && isVisible()) {
    m_signalWidth = current;
    m_animation.start();
  } else {
    m_signalWidth = -1;
    m_animation.stop();
  }
  layoutArea();
  if (shown && m_loaded && m_chart9->bars().empty()) computeAmplitudeSpectrum();
}

void FourierPage::animateStep() {
  const int w = m_area->width();
  const int target =
      m_layoutState == SpectrumShown ? static_cast<int>(std::lround((w - 5) / 3.0 * 2.0)) : std::max(10, w - 5);
  if (m_signalWidth < 0) m_signalWidth = target;
  const int difference = target - m_signalWidth;
  // Half of the remaining distance, rounded up.
  const int step = (std::abs(difference) + 1) / 2;
  m_signalWidth += difference > 0 ? step : -step;
  if (m_signalWidth == target) {
    m_signalWidth = -1;
    m_animation.stop();
  }
  layoutArea();
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
