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

namespace {

// An arrow glyph drawn in code (image 0..3 of the page's glyph list: T->BF ready/idle, BF->T ready/idle).
QIcon ArrowIcon(bool ready) {
  QPixmap pixmap(28, 20);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor colour = ready ? QColor(0x1a, 0x7a, 0x2a) : QColor(0xa0, 0xa0, 0xa0);
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawPolygon(QPolygon(
      {QPoint(2, 7), QPoint(16, 7), QPoint(16, 2), QPoint(26, 10), QPoint(16, 18), QPoint(16, 13), QPoint(2, 13)}));
  return QIcon(pixmap);
}

QToolButton* MaximizeButton(const char* name, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setToolTip(QStringLiteral("Maximize"));
  button->setText(QStringLiteral("□"));
  button->setFixedSize(22, 20);
  return button;
}

}  // namespace

TransformPage::TransformPage(AppContext* context, QWidget* parent) : QWidget(parent), m_context(context) {
  setObjectName(QStringLiteral("TabSheet1"));
  m_run = new PageRun(context, this, [this](bool busy) { showBusy(busy); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(3, 3, 3, 3);
  layout->setSpacing(3);
  buildTopRow();
  auto* middle = new QHBoxLayout;
  middle->setSpacing(2);
  middle->addWidget(buildInputSide(), 1);
  middle->addWidget(buildArrowColumn());
  middle->addWidget(buildOutputSide(), 1);
  layout->addLayout(middle, 1);
  m_controls = new ConversionControls(this);
  layout->addWidget(m_controls);

  m_animation = new WidthAnimation("Timer1", this);
  connectControls();
  writeSettings();

  for (Side side : kBothSides) arrow(side)->setIcon(ArrowIcon(false));
  refreshSeriesColours();
  setSampleRate(m_context->gerc());
  showView();
}

TransformPage::~TransformPage() = default;

void TransformPage::buildTopRow() {
  auto* row = new QHBoxLayout;
  row->setSpacing(4);
  m_upDown1 = new QSpinBox(this);
  m_upDown1->setObjectName(QStringLiteral("UpDown1"));
  m_upDown1->setRange(1, 100000);
  m_upDown1->setValue(2);
  m_upDown1->setFixedWidth(64);
  if (auto* edit1 = m_upDown1->findChild<QLineEdit*>()) edit1->setObjectName(QStringLiteral("Edit1"));
  row->addWidget(NamedLabel("Label5", QStringLiteral("Signal frequency, Hz:"), this));
  row->addWidget(m_upDown1);
  const char* names[2][3] = {{"BtnReadT", "Edit10", "Edit17"}, {"BtnReadBF", "Edit16", "Edit18"}};
  const QString captions[2] = {QStringLiteral("Temperature"), QStringLiteral("BloodFlow")};
  for (int i = 0; i < 2; ++i) {
    m_btnRead[i] = NamedButton(names[i][0], captions[i], this);
    m_sourceEdit[i] = NamedEdit(names[i][1], QString(), this);
    m_countEdit[i] = NamedEdit(names[i][2], QString(), this, 96);
    for (QLineEdit* edit : {m_sourceEdit[i], m_countEdit[i]}) {
      edit->setReadOnly(true);
      edit->setFocusPolicy(Qt::ClickFocus);
    }
    row->addSpacing(8);
    row->addWidget(m_btnRead[i]);
    row->addWidget(m_sourceEdit[i], 1);
    row->addWidget(m_countEdit[i]);
  }
  static_cast<QVBoxLayout*>(layout())->addLayout(row);
}

QWidget* TransformPage::buildInputSide() {
  m_panelL = new QWidget(this);
  m_panelL->setObjectName(QStringLiteral("PanelL"));
  auto* layout = new QVBoxLayout(m_panelL);
  layout->setContentsMargins(0, 0, 0, 0);
  m_splitterL = new QSplitter(Qt::Vertical, m_panelL);
  m_splitterL->setObjectName(QStringLiteral("Splitter1"));
  m_splitterL->setChildrenCollapsible(false);
  layout->addWidget(m_splitterL);
  for (Side side : kBothSides) {
    m_sides[SideIndex(side)] = new RecordSidePanel(side, m_splitterL);
    FileDrop::Install(panel(side)->chart(), [this, side](const QString& path) { openFile(side, path); });
  }
  m_speedButton4 = MaximizeButton("SpeedButton4", this);
  panel(Side::Temperature)->chart()->setCornerWidget(m_speedButton4);
  return m_panelL;
}

QWidget* TransformPage::buildOutputSide() {
  m_panelP = new QWidget(this);
  m_panelP->setObjectName(QStringLiteral("PanelP"));
  auto* layout = new QVBoxLayout(m_panelP);
  layout->setContentsMargins(0, 0, 0, 0);
  m_splitterP = new QSplitter(Qt::Vertical, m_panelP);
  m_splitterP->setObjectName(QStringLiteral("Splitter2"));
  m_splitterP->setChildrenCollapsible(false);
  layout->addWidget(m_splitterP);

  // Upper: BF*, converted from T; lower: T*, converted from BF.
  for (Side side : kBothSides) m_converted[SideIndex(side)] = new ConvertedRecordPanel(side, m_splitterP);
  m_speedButton3 = MaximizeButton("SpeedButton3", this);
  m_converted[SideIndex(Side::Temperature)]->chart()->setCornerWidget(m_speedButton3);
  return m_panelP;
}

QWidget* TransformPage::buildArrowColumn() {
  m_arrows = new QWidget(this);
  m_arrows->setObjectName(QStringLiteral("ArrowColumn"));
  auto* v = new QVBoxLayout(m_arrows);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(4);
  m_btnTtoBF = NamedButton("BtnTtoBF", QString(), m_arrows);
  m_btnBFtoT = NamedButton("BtnBFtoT", QString(), m_arrows);
  for (QPushButton* button : {m_btnTtoBF, m_btnBFtoT}) {
    button->setFixedSize(40, 34);
    button->setIconSize(QSize(28, 20));
    button->setProperty("tag", 0);
  }
  m_btnTtoBF->setToolTip(QStringLiteral("T --> BF*"));
  m_btnBFtoT->setToolTip(QStringLiteral("BF --> T*"));

  m_colours = new RecordColours(m_arrows);
  v->addStretch(2);
  v->addWidget(m_btnTtoBF);
  v->addStretch(3);
  v->addWidget(m_colours, 0, Qt::AlignHCenter);
  v->addStretch(3);
  v->addWidget(m_btnBFtoT);
  v->addStretch(2);
  return m_arrows;
}

int TransformPage::minimumContentWidth() const { return m_controls->minimumSizeHint().width(); }

bool TransformPage::isBusy() const { return m_run->isBusy(); }

void TransformPage::waitForIdle() {
  // A finished run may start the next one (the Examples menu loads T, then BF).
  while (m_context->runner()->isBusy()) m_context->runner()->waitForIdle();
}

void TransformPage::setSampleRate(int hz) {
  if (m_upDown1->value() != hz) m_upDown1->setValue(hz);
  const QString hint = QString::number(hz) + QStringLiteral(" Hz");
  for (QPushButton* button : m_btnRead) button->setToolTip(hint);
  if (QWidget* top = window()) {
    for (const char* name : {"BitBtn25", "BitBtn11"}) {
      if (auto* button = top->findChild<QWidget*>(QString::fromLatin1(name))) button->setToolTip(hint);
    }
  }
}

void TransformPage::connectControls() {
  connect(m_upDown1, &QSpinBox::valueChanged, this, [this](int hz) {
    m_context->setGerc(hz);
    setSampleRate(hz);
    if (TransformSession* s = session()) s->setSampleRate(hz);
    showOutdated();
  });
  connect(m_btnTtoBF, &QPushButton::clicked, this, [this] { convert(Side::Temperature); });
  connect(m_btnBFtoT, &QPushButton::clicked, this, [this] { convert(Side::BloodFlow); });
  for (Side side : kBothSides) {
    const std::size_t i = SideIndex(side);
    connect(m_btnRead[i], &QPushButton::clicked, this, [this, side] { readRecord(side); });
    ConvertedRecordPanel* c = m_converted[i];
    connect(c, &ConvertedRecordPanel::outputPressed, this, [this, side] { output(side); });
    connect(c, &ConvertedRecordPanel::savePressed, this, [this, side] { saveConverted(side); });
    connect(c, &ConvertedRecordPanel::plotPressed, this, [this, c] { plotChart(c->chart()); });
    RecordSidePanel* p = panel(side);
    connect(p, &RecordSidePanel::bandChosen, this, [this, side] { filterSide(side); });
    connect(p, &RecordSidePanel::filteredTickChanged, this, [this, side](bool ticked) {
      if (TransformSession* s = session()) s->setFilterSignal(side, ticked);
    });
    connect(p, &RecordSidePanel::numberRefused, this, [this](const QString& text) {
      m_context->showError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    });
  }
  connect(m_colours, &RecordColours::coloursChanged, this, &TransformPage::refreshSeriesColours);
  connect(m_speedButton4, &QToolButton::clicked, this, [this] { toggleEnlarged(true); });
  connect(m_speedButton3, &QToolButton::clicked, this, [this] { toggleEnlarged(false); });
  connect(m_controls, &ConversionControls::methodChanged, this, &TransformPage::onMethodChanged);
  connect(m_controls, &ConversionControls::settingsChanged, this, [this] {
    writeSettings();
    showOutdated();
  });
  ParameterGridView* gridView = m_controls->gridView();
  connect(gridView, &ParameterGridView::cellEdited, this, &TransformPage::onGridEdited);
  connect(gridView, &ParameterGridView::defaultsPressed, this, [this](ParameterGridView::Defaults defaults) {
    TransformSession* s = session();
    if (!s || isBusy()) return;
    if (defaults == ParameterGridView::Defaults::Skin) s->pressSkinDefaults();
    if (defaults == ParameterGridView::Defaults::Blood) s->pressBloodDefaults();
    if (defaults == ParameterGridView::Defaults::Air) s->pressAirDefaults();
    showGrid();
    showOutdated();
  });
  connect(m_context, &AppContext::languageChanged, this, [this] {
    if (isBusy()) showGrid(); else showView();
  });
  // After the window has written the language's fixed texts (the chart titles among them).
  connect(m_context, &AppContext::languageChanged, this,
          [this] { QMetaObject::invokeMethod(this, [this] { showOutdated(); }, Qt::QueuedConnection); });
  connect(m_context, &AppContext::sessionChanged, this, [this] {
    if (!isBusy()) showView();
  });
  // The session's owner takes the blood-flow curves other pages hand over (the PPG page's "<--").
  m_context->setBloodFlowReceiver(
      [this](const std::vector<double>& samples, const QString& source) { return takeBloodFlow(samples, source); });
  // ... and the depths other pages work out (the Analysis page's "Use this depth").
  m_context->setDepthReceiver([this](double depthMm) { return takeDepth(depthMm); });

  // The band scales are hidden while an enlarged view moves (SchkalaNevid) and shown again after (SchkalaVid).
  auto* hideScales = new QAction(this);
  hideScales->setObjectName(QStringLiteral("SchkalaNevid"));
  connect(hideScales, &QAction::triggered, this, &TransformPage::hideBandScales);
  auto* showScales = new QAction(this);
  showScales->setObjectName(QStringLiteral("SchkalaVid"));
  connect(showScales, &QAction::triggered, this, &TransformPage::showBandScales);
}

void TransformPage::setBand(Side side, double lowHz, double highHz) {
  panel(side)->setBand(lowHz, highHz);
  filterSide(side);
}

void TransformPage::refreshSeriesColours() {
  for (Side side : kBothSides) {
    // A record's colour marks its own curves and the title of the chart that shows its estimate of the other.
    panel(side)->setRecordColour(m_colours->colour(side));
    m_converted[SideIndex(side)]->setColours(m_colours->colour(side), m_colours->colour(OtherSide(side)));
  }
}

void TransformPage::hideBandScales() {
  for (RecordSidePanel* p : m_sides) p->hideBandScales();
  m_speedButton3->hide();
  m_speedButton4->hide();
}

void TransformPage::showBandScales() {
  for (RecordSidePanel* p : m_sides) p->showBandScales();
  m_speedButton3->show();
  m_speedButton4->show();
}

void TransformPage::toggleEnlarged(bool inputSide) {
  if (m_animation->isActive()) return;
  QWidget* moving = inputSide ? m_panelL : m_panelP;
  QToolButton* button = inputSide ? m_speedButton4 : m_speedButton3;
  const bool enlarge = inputSide ? m_layoutState != InputEnlarged : m_layoutState != OutputEnlarged;
  const int fullWidth = width() - 8;
  const int halfWidth = (width() - m_arrows->width() - 8) / 2;
  QAction* showScales = findChild<QAction*>(QStringLiteral("SchkalaVid"));
  QAction* hideScales = findChild<QAction*>(QStringLiteral("SchkalaNevid"));

  auto finish = [this, moving, button, enlarge, inputSide, showScales] {
    moving->setMinimumWidth(0);
    moving->setMaximumWidth(QWIDGETSIZE_MAX);
    if (!enlarge) {
      (inputSide ? m_panelP : m_panelL)->show();
      m_arrows->show();
      m_controls->show();
    }
    button->setToolTip(enlarge ? QStringLiteral("Minimize") : QStringLiteral("Maximize"));
    m_layoutState =
        enlarge ? (inputSide ? InputEnlarged : OutputEnlarged) : (inputSide ? BothSides : BothSidesRestored);
    for (QSplitter* splitter : {m_splitterL, m_splitterP}) {
      const int h = splitter->height();
      splitter->setSizes({h / 2, h - h / 2});
    }
    showScales->trigger();
  };

  if (enlarge) {
    (inputSide ? m_panelP : m_panelL)->hide();
    m_arrows->hide();
    m_controls->hide();
  }
  if (!m_context->animation()) {
    finish();
    return;
  }
  hideScales->trigger();
  const int target = enlarge ? fullWidth : halfWidth;
  moving->setFixedWidth(moving->width());
  m_animation->start(
      moving->width(), [target] { return target; }, [moving](int w) { moving->setFixedWidth(w); }, finish);
}

void TransformPage::showGrid() {
  TransformSession* s = session();
  const bool shitzer = m_controls->method() == ConversionMethod::Shitzer;
  if (s) m_controls->gridView()->showGrid(s->grid(), shitzer, m_context->russian());
}

void TransformPage::onGridEdited(int column, int row, const std::string& text) {
  TransformSession* s = session();
  if (!s || isBusy()) return;
  const GridEditResult result = s->editGridCell(column, row, text);
  if (!result.ok()) {
    m_context->showError(GridEditMessage(result));
    showGrid();
  }
  showOutdated();
}

bool TransformPage::takeDepth(double depthMm) {
  TransformSession* s = session();
  if (!s || isBusy() || !(depthMm > 0.0) || !std::isfinite(depthMm)) return false;
  // The grid shows D in mm and the parameters hold metres; a thousandth of a mm is all the grid needs.
  TissueParameters parameters = s->tissueParameters();
  parameters.wave.depthM = std::round(depthMm * 1000.0) / 1e6;
  s->setTissueParameters(parameters);
  showGrid();
  showOutdated();
  return true;
}

void TransformPage::onMethodChanged() {
  if (TransformSession* s = session()) s->setMethod(m_controls->method());
  m_controls->showMethodControls();
  writeSettings();
  showView();
}

void TransformPage::readRecord(Side side) {
  const bool ru = m_context->russian();
  const QString title = side == Side::Temperature ? (ru ? QStringLiteral("Температура") : QStringLiteral("Temperature"))
                                                  : (ru ? QStringLiteral("Кровоток") : QStringLiteral("BloodFlow"));
  const QString path = QFileDialog::getOpenFileName(this, title, QString(), OpenFileFilter());
  if (!path.isEmpty()) openFile(side, path);
}

bool TransformPage::openFile(Side side, const QString& path) {
  if (!session() || m_context->refuseWhileHeld()) return false;
  const QString role = side == Side::Temperature ? QStringLiteral("T") : QStringLiteral("BF");
  IntakeRequest request;
  request.target = side == Side::Temperature ? ImportTarget::Temperature : ImportTarget::BloodFlow;
  request.pairAllowed = true;
  request.typedRateHz = m_context->gerc();
  // The records of the two sides share one rate: while the other side holds a record, a new one must match it.
  if (session()->loaded(OtherSide(side))) request.requiredRateHz = m_context->gerc();
  const std::optional<IntakeResult> taken = TakeFile(this, *m_context, path, request);
  if (!taken || !session() || isBusy()) return false;
  if (taken->signalText()) {
    // The source text is the session's: it names the file once the load has succeeded.
    return loadRecord(side, path, QString(), [this, role, path](bool ok) {
      if (ok) m_context->noteOpenedFile(role, path);
    });
  }
  return loadImported(side, taken->records, path);
}

bool TransformPage::loadImported(Side side, const std::vector<ImportedRecord>& records, const QString& path) {
  TransformSession* s = session();
  if (!s || isBusy() || records.empty()) return false;
  const bool pair = records.size() == 2;
  const int rate = static_cast<int>(records.front().rateHz);
  if (rate != m_context->gerc()) {
    if (!pair && s->loaded(OtherSide(side))) {
      m_context->showError(ImportText(ImportWord::kRateDiffers, m_context->language())
                               .arg(rate)
                               .arg(m_context->gerc()));
      return false;
    }
    m_upDown1->setValue(rate);
  }
  const Side first = pair ? Side::Temperature : side;
  const QString role = first == Side::Temperature ? QStringLiteral("T") : QStringLiteral("BF");
  auto noted = [this, role, path](bool ok) {
    if (ok) m_context->notifyTransformRecordsReplaced();
    if (ok && !path.isEmpty()) m_context->noteOpenedFile(role, path);
  };
  if (!pair) {
    return runJob(s->prepareLoadRecord(side, records.front().record, records.front().source.toStdString()),
                  [noted](const SessionResult& result) { noted(result.ok()); });
  }
  // T first; BF follows once T has loaded.
  const ImportedRecord bf = records.back();
  return runJob(s->prepareLoadRecord(Side::Temperature, records.front().record, records.front().source.toStdString()),
                [this, bf, noted](const SessionResult& result) {
                  if (!result.ok()) return;
                  noted(true);
                  TransformSession* session = this->session();
                  if (!session || isBusy()) return;
                  runJob(session->prepareLoadRecord(Side::BloodFlow, bf.record, bf.source.toStdString()),
                         [this](const SessionResult& result) {
                           if (result.ok()) m_context->notifyTransformRecordsReplaced();
                         });
                });
}

void TransformPage::loadExample(int number) {
  if (m_context->refuseWhileHeld()) return;
  const QString folder = AppContext::dataFolder() + QStringLiteral("/Examples/");
  const QString t = folder + QStringLiteral("T%1.txt").arg(number);
  const QString bf = folder + QStringLiteral("BF%1.txt").arg(number);
  if (!QFileInfo::exists(t)) {
    m_context->showError(FileMissingText(t, m_context->language()));
    return;
  }
  const QString label = QStringLiteral("Example %1").arg(number);
  // T first; the BF file is tried only after T loaded.
  loadRecord(Side::Temperature, t, label, [this, bf, label](bool ok) {
    if (!ok) return;
    if (!QFileInfo::exists(bf)) {
      m_context->showError(FileMissingText(bf, m_context->language()));
      return;
    }
    loadRecord(Side::BloodFlow, bf, label, nullptr);
  });
}

bool TransformPage::loadT(const QString& path) { return loadRecord(Side::Temperature, path, QString(), nullptr); }

bool TransformPage::loadBF(const QString& path) { return loadRecord(Side::BloodFlow, path, QString(), nullptr); }

bool TransformPage::loadRecord(Side side, const QString& path, const QString& label, std::function<void(bool)> then) {
  TransformSession* s = session();
  if (!s || isBusy()) return false;
  return runJob(s->prepareLoadFile(side, path.toStdString(), label.toStdString()),
                [this, then = std::move(then)](const SessionResult& result) {
                  if (result.ok()) m_context->notifyTransformRecordsReplaced();
                  if (then) then(result.ok());
                });
}

bool TransformPage::takeBloodFlow(const std::vector<double>& samples, const QString& source) {
  TransformSession* s = session();
  if (!s || isBusy()) return false;
  return runJob(s->prepareLoadBFFromSamples(samples, source.toStdString()), [this](const SessionResult& result) {
    if (!result.ok()) return;
    m_context->notifyTransformRecordsReplaced();
    m_context->notifySessionChanged();
    showPageZero();
  });
}

void TransformPage::filterSide(Side side) {
  TransformSession* s = session();
  if (!s || isBusy()) return;
  // A band was chosen: it is written to the session as every setting is when it changes.
  writeSettings();
  showOutdated();
  if (!s->loaded(side)) return;
  if (panel(side)->noBandChosen()) {
    s->setFilterSignal(side, false);
    showView();
    return;
  }
  if (m_controls->method() == ConversionMethod::Shitzer) return;
  runJob(s->prepareFilter(side), nullptr, RunKind::Filter);
}

void TransformPage::convert(Side side) {
  TransformSession* s = session();
  if (!s || isBusy() || arrow(side)->property("tag").toInt() != 1) return;
  if (side == Side::BloodFlow) setFocus();
  m_converted[SideIndex(side)]->clearCorrelation();
  runJob(
      s->prepareConversion(side),
      [this, side](const SessionResult&) {
        if (side == Side::Temperature) showPageZero();
      },
      RunKind::Conversion);
}

void TransformPage::output(Side side) {
  TransformSession* s = session();
  if (!s || isBusy()) return;
  finishOperation(s->Output(side));
}

void TransformPage::showPageZero() {
  if (auto* pages = qobject_cast<QTabWidget*>(parentWidget() ? parentWidget()->parentWidget() : nullptr)) {
    pages->setCurrentIndex(0);
  }
}

TransformSession* TransformPage::session() const { return m_context->session(); }

bool TransformPage::runJob(TransformSession::Job job, std::function<void(const SessionResult&)> then, RunKind kind) {
  m_run->setKind(kind);
  // The job computes on its own copies; the session is touched again only by the commit, on this thread.
  auto shared = std::make_shared<TransformSession::Job>(std::move(job));
  ProgressSink* sink = &m_run->sink();
  return m_run->start([this, shared, sink, then = std::move(then)]() -> PageRun::Outcome {
    shared->run(*sink);
    return {[this, shared, then] {
      const SessionResult result = session()->commit(std::move(*shared));
      finishOperation(result);
      if (then) then(result);
    }};
  });
}

void TransformPage::showBusy(bool busy) {
  for (QWidget* w : std::initializer_list<QWidget*>{m_btnRead[0], m_btnRead[1], m_btnTtoBF, m_btnBFtoT, m_controls,
                                                    panel(Side::Temperature)->strip(), panel(Side::BloodFlow)->strip(),
                                                    m_upDown1}) {
    w->setEnabled(!busy);
  }
  setCursor(busy ? Qt::BusyCursor : Qt::ArrowCursor);
}

void TransformPage::writeSettings() {
  TransformSession* s = session();
  if (!s) return;
  s->setDecimalSeparator(DecimalSeparator().toLatin1());
  s->setSampleRate(m_context->gerc());
  s->setModel(m_controls->model());
  s->setNonlinear(m_controls->nonlinear());
  s->setScalingMode(m_controls->scaling());
  s->setStartTemperatureText(m_controls->startTemperatureText());
  for (Side side : kBothSides) {
    const RecordSidePanel* p = panel(side);
    s->setScalingTexts(side, m_controls->scaleText(side, 0), m_controls->scaleText(side, 1));
    s->setBand(side, p->lowHz(), p->highHz());
    s->setBandTexts(side, p->lowText().toStdString(), p->highText().toStdString());
    s->setFilterSignal(side, p->filteredTicked());
  }
  if (WaveletMethods* wavelet = m_context->waveletMethods()) {
    wavelet->setConversionType(m_controls->waveletType());
    wavelet->setThreads(m_context->potoks());
    s->setWaveletChoices(m_controls->waveletType(), wavelet->delayRule());
  } else {
    s->setWaveletChoices(m_controls->waveletType(), std::nullopt);
  }
}

void TransformPage::takeSettings() {
  writeSettings();
  showOutdated();
}

void TransformPage::showOutdated() {
  TransformSession* s = session();
  if (!s) return;
  for (Side side : kBothSides) m_converted[SideIndex(side)]->showOutdated(s->convertedOutdated(side), m_context->language());
}

void TransformPage::finishOperation(const SessionResult& result) {
  if (!result.ok()) {
    m_context->showError(SessionErrorText(result, m_context->language()));
    return;
  }
  showView();
  if (!result.notices.empty()) m_context->showError(NoticesText(result.notices, m_context->language()));
}

void TransformPage::showView() {
  TransformSession* s = session();
  if (!s) return;
  const TransformViewState v = s->viewState();
  // An operation may change the records' rate (the wavelet conversion works at 2 Hz): the spin box follows it.
  if (m_upDown1->value() != v.sampleRateHz) m_upDown1->setValue(v.sampleRateHz);
  const char separator = DecimalSeparator().toLatin1();
  for (Side side : kBothSides) {
    const std::size_t i = SideIndex(side);
    const SideView& view = v.side(side);
    arrow(side)->setIcon(ArrowIcon(view.loaded));
    arrow(side)->setProperty("tag", view.loaded ? 1 : 0);
    if (view.loaded) {
      m_sourceEdit[i]->setText(SourceText(side, QString::fromStdString(view.source), m_context->language()));
      m_countEdit[i]->setText(PointsText(view.sampleCount, m_context->language()));
    }
    panel(side)->showRecord(view);

    m_converted[i]->showConverted(view.converted, m_context->language(), separator);
  }
  showGrid();
}

}  // namespace kelvora
