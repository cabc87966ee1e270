#include "transform_page.h"

#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "app_context.h"
#include "band_edit_filter.h"
#include "color_swatch.h"
#include "frequency_strip.h"
#include "language_tables.h"
#include "number_text.h"
#include "page_run.h"
#include "plot_view.h"
#include "run_progress.h"
#include "signal_messages.h"
#include "signals/signal_file.h"
#include "core/text_helpers.h"
#include "signals/transform_session.h"
#include "signals/wavelet_transform_methods.h"
#include "task_runner.h"

namespace kelvora {

namespace {

const QColor kTemperatureColour(0xc0, 0x20, 0x20);
const QColor kBloodFlowColour(0x10, 0x40, 0xc0);
const QColor kFilteredColour(0x10, 0x90, 0x30);

struct Preset {
  const char* hint;
  double low;
  double high;
};
constexpr Preset kPresets[3] = {
    {"0.005-0.02 Hz", 0.005, 0.02}, {"0.02-0.05 Hz", 0.02, 0.05}, {"0.05-0.15 Hz", 0.05, 0.15}};

// The band texts "0" .. this mean that no band is chosen on a side: 0.1 Hz on the temperature side (its start
// state), 2 Hz on the blood-flow side.
QString NoBandHighText(int side) { return side == 0 ? FormatDecimal(0.1) : QStringLiteral("2"); }

QPushButton* MakeButton(const char* name, const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

QLineEdit* MakeEdit(const char* name, const QString& text, QWidget* parent, int width = 0) {
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(QString::fromLatin1(name));
  if (width > 0) edit->setFixedWidth(width);
  return edit;
}

QLabel* MakeLabel(const char* name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

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

// The glyph of a "Filtering" button: a triangle pointing down while its panel is expanded, right when collapsed.
QIcon FoldIcon(bool expanded) {
  QPixmap pixmap(12, 12);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x40, 0x40, 0x40));
  if (expanded) {
    p.drawPolygon(QPolygon({QPoint(1, 3), QPoint(11, 3), QPoint(6, 9)}));
  } else {
    p.drawPolygon(QPolygon({QPoint(3, 1), QPoint(9, 6), QPoint(3, 11)}));
  }
  return QIcon(pixmap);
}

}  // namespace

TransformPage::TransformPage(AppContext* context, QWidget* parent) : QWidget(parent), m_context(context) {
  setObjectName(QStringLiteral("TabSheet1"));
  m_keyFilter = new BandEditFilter(this);
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
  layout->addWidget(buildBottomPanel());

  m_timer1.setObjectName(QStringLiteral("Timer1"));
  m_timer1.setInterval(20);
  connect(&m_timer1, &QTimer::timeout, this, &TransformPage::animateStep);

  connectControls();
  auto* hideScales = new QAction(this);
  hideScales->setObjectName(QStringLiteral("SchkalaNevid"));
  connect(hideScales, &QAction::triggered, this, &TransformPage::hideBandScales);
  auto* showScales = new QAction(this);
  showScales->setObjectName(QStringLiteral("SchkalaVid"));
  connect(showScales, &QAction::triggered, this, &TransformPage::showBandScales);

  // Start state of the band selectors: temperature 0 .. 0.1 Hz (no band chosen), blood flow 0 .. 2 Hz.
  m_strip[0]->setBand(0.0, 0.1);
  m_strip[1]->setBand(0.0, 2.0);
  m_lowEdit[0]->setText(QStringLiteral("0"));
  m_highEdit[0]->setText(FormatDecimal(0.1));
  m_lowEdit[1]->setText(QStringLiteral("0"));
  m_highEdit[1]->setText(QStringLiteral("2"));

  m_edit9->setText(QStringLiteral("36") + DecimalSeparator() + QStringLiteral("24"));
  m_button2->setText(QString());
  m_button3->setText(QString());
  m_lbCorrel1->clear();
  m_lbCorrel2->clear();
  applyGridMode();
  resetOutputSide(0);
  resetOutputSide(1);
  refreshSeriesColours();
  setSampleRate(m_context->gerc());
}

TransformPage::~TransformPage() = default;

void TransformPage::buildTopRow() {
  auto* row = new QHBoxLayout;
  row->setSpacing(4);
  m_label5 = MakeLabel("Label5", QStringLiteral("Signal frequency, Hz:"), this);
  m_upDown1 = new QSpinBox(this);
  m_upDown1->setObjectName(QStringLiteral("UpDown1"));
  m_upDown1->setRange(1, 100000);
  m_upDown1->setValue(2);
  m_upDown1->setFixedWidth(64);
  m_edit1 = m_upDown1->findChild<QLineEdit*>();
  if (m_edit1) m_edit1->setObjectName(QStringLiteral("Edit1"));
  m_btnReadT = MakeButton("BtnReadT", QStringLiteral("Temperature"), this);
  m_btnReadBF = MakeButton("BtnReadBF", QStringLiteral("BloodFlow"), this);
  m_edit10 = MakeEdit("Edit10", QString(), this);
  m_edit16 = MakeEdit("Edit16", QString(), this);
  m_edit17 = MakeEdit("Edit17", QString(), this, 96);
  m_edit18 = MakeEdit("Edit18", QString(), this, 96);
  for (QLineEdit* edit : {m_edit10, m_edit16, m_edit17, m_edit18}) {
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::ClickFocus);
  }
  row->addWidget(m_label5);
  row->addWidget(m_upDown1);
  row->addSpacing(8);
  row->addWidget(m_btnReadT);
  row->addWidget(m_edit10, 1);
  row->addWidget(m_edit17);
  row->addSpacing(8);
  row->addWidget(m_btnReadBF);
  row->addWidget(m_edit16, 1);
  row->addWidget(m_edit18);
  static_cast<QVBoxLayout*>(layout())->addLayout(row);
}

QFrame* TransformPage::buildFilterPanel(int side) {
  const bool t = side == 0;
  auto* panel = new QFrame(this);
  panel->setObjectName(t ? QStringLiteral("PanelM1") : QStringLiteral("PanelM2"));
  panel->setFrameShape(QFrame::StyledPanel);
  auto* grid = new QGridLayout(panel);
  grid->setContentsMargins(3, 2, 3, 2);
  grid->setHorizontalSpacing(2);
  grid->setVerticalSpacing(1);
  m_filterButton[side] = MakeButton(t ? "BitBtn9" : "BitBtn10", QStringLiteral("Filtering"), panel);
  m_filterButton[side]->setIcon(FoldIcon(true));
  m_inputBox[side] = new QCheckBox(QStringLiteral("Input Signal"), panel);
  m_inputBox[side]->setObjectName(t ? QStringLiteral("CheckBox2") : QStringLiteral("CheckBox4"));
  m_inputBox[side]->setChecked(true);
  m_filteredBox[side] = new QCheckBox(QStringLiteral("Filtered Signal"), panel);
  m_filteredBox[side]->setObjectName(t ? QStringLiteral("CBFilterSignalT") : QStringLiteral("CBFilterSignalBF"));
  grid->addWidget(m_filterButton[side], 0, 0, 1, 3);
  grid->addWidget(m_inputBox[side], 1, 0, 1, 3);
  grid->addWidget(m_filteredBox[side], 2, 0, 1, 3);
  const char* names[2][3] = {{"SpeedButton6", "SpeedButton7", "SpeedButton8"},
                             {"SpeedButton9", "SpeedButton13", "SpeedButton14"}};
  const QString letters[3] = {QStringLiteral("E"), QStringLiteral("N"), QStringLiteral("М")};
  for (int i = 0; i < 3; ++i) {
    auto* button = new QToolButton(panel);
    button->setObjectName(QString::fromLatin1(names[side][i]));
    button->setText(letters[i]);
    button->setToolTip(QString::fromLatin1(kPresets[i].hint));
    button->setFixedSize(26, 22);
    m_letter[side][i] = button;
    grid->addWidget(button, 3, i);
  }
  grid->setRowStretch(4, 1);
  panel->setFixedWidth(128);
  return panel;
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

  for (int side = 0; side < 2; ++side) {
    const bool t = side == 0;
    auto* panel = new QWidget(m_splitterL);
    panel->setObjectName(t ? QStringLiteral("Panel1") : QStringLiteral("Panel2"));
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(2);
    PlotView* chart = new PlotView(t ? QStringLiteral("Chart1") : QStringLiteral("Chart2"), panel);
    chart->setTitle(t ? QStringLiteral("Temperature") : QStringLiteral("BloodFlow"));
    chart->setBottomTitle(QStringLiteral("t, min"));
    chart->setLeftTitle(t ? QStringLiteral("T, °C") : QStringLiteral("BF, V"));
    m_filterPanel[side] = buildFilterPanel(side);
    m_strip[side] = new FrequencyStrip(t ? QStringLiteral("Image3") : QStringLiteral("Image4"), panel);
    m_lowEdit[side] = MakeEdit(t ? "EditS1" : "EditS3", QString(), panel, 52);
    m_highEdit[side] = MakeEdit(t ? "EditS2" : "EditS4", QString(), panel, 52);
    for (QLineEdit* edit : {m_lowEdit[side], m_highEdit[side]}) edit->installEventFilter(m_keyFilter);
    auto* stripRow = new QHBoxLayout;
    stripRow->setSpacing(2);
    stripRow->addWidget(m_strip[side], 1);
    stripRow->addWidget(m_lowEdit[side]);
    stripRow->addWidget(m_highEdit[side]);
    grid->addWidget(chart, 0, 0);
    grid->addWidget(m_filterPanel[side], 0, 1);
    grid->addLayout(stripRow, 1, 0, 1, 2);
    grid->setRowStretch(0, 1);
    grid->setColumnStretch(0, 1);
    if (t) {
      m_chart1 = chart;
      m_series1 = chart->addLineSeries(QStringLiteral("Series1"), kTemperatureColour);
      m_series19 = chart->addLineSeries(QStringLiteral("Series19"), kFilteredColour, 1.5);
      m_series20 = chart->addPointSeries(QStringLiteral("Series20"), kFilteredColour, 5.0);
    } else {
      m_chart2 = chart;
      m_series2 = chart->addLineSeries(QStringLiteral("Series2"), kBloodFlowColour);
      m_series21 = chart->addLineSeries(QStringLiteral("Series21"), kFilteredColour, 1.5);
    }
  }
  m_series19->setVisible(false);
  m_series20->setVisible(false);
  m_series21->setVisible(false);

  m_speedButton4 = new QToolButton(this);
  m_speedButton4->setObjectName(QStringLiteral("SpeedButton4"));
  m_speedButton4->setToolTip(QStringLiteral("Maximize"));
  m_speedButton4->setText(QStringLiteral("□"));
  m_speedButton4->setFixedSize(22, 20);
  m_chart1->setCornerWidget(m_speedButton4);
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

  for (int row = 0; row < 2; ++row) {
    const bool bf = row == 0;  // upper: BF* from T; lower: T* from BF
    auto* panel = new QWidget(m_splitterP);
    panel->setObjectName(bf ? QStringLiteral("Panel3") : QStringLiteral("Panel4"));
    auto* v = new QVBoxLayout(panel);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(2);
    PlotView* chart = new PlotView(bf ? QStringLiteral("Chart3") : QStringLiteral("Chart4"), panel);
    chart->setTitle(bf ? QStringLiteral("BloodFlow*") : QStringLiteral("Temperature*"));
    chart->setBottomTitle(QStringLiteral("t, min"));
    chart->setLeftTitle(bf ? QStringLiteral("BF, mm^3/sec") : QStringLiteral("T, °C"));
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(3);
    QPushButton* output = MakeButton(bf ? "BtnOutputBF" : "BtnOutputT",
                                     bf ? QStringLiteral("Output BF") : QStringLiteral("Output T"), panel);
    QLabel* correl = MakeLabel(bf ? "LBCorrel1" : "LBCorrel2", QString(), panel);
    QFont bold = correl->font();
    bold.setBold(true);
    correl->setFont(bold);
    QPushButton* save =
        MakeButton(bf ? "BtnSaveBF" : "BtnSaveT", bf ? QStringLiteral("BF*") : QStringLiteral("T*"), panel);
    QPushButton* plot = MakeButton(bf ? "BtnPlotBF" : "BtnPlotT", QStringLiteral("Plot"), panel);
    buttons->addWidget(output);
    buttons->addWidget(correl, 1);
    buttons->addWidget(save);
    buttons->addWidget(plot);
    v->addWidget(chart, 1);
    v->addLayout(buttons);
    if (bf) {
      m_chart3 = chart;
      m_series3 = chart->addLineSeries(QStringLiteral("Series3"), kTemperatureColour);
      m_series5 = chart->addLineSeries(QStringLiteral("Series5"), kBloodFlowColour);
      m_btnOutputBF = output;
      m_lbCorrel1 = correl;
      m_btnSaveBF = save;
      m_btnPlotBF = plot;
    } else {
      m_chart4 = chart;
      m_series4 = chart->addLineSeries(QStringLiteral("Series4"), kBloodFlowColour);
      m_series6 = chart->addLineSeries(QStringLiteral("Series6"), kTemperatureColour);
      m_btnOutputT = output;
      m_lbCorrel2 = correl;
      m_btnSaveT = save;
      m_btnPlotT = plot;
    }
  }
  m_speedButton3 = new QToolButton(this);
  m_speedButton3->setObjectName(QStringLiteral("SpeedButton3"));
  m_speedButton3->setToolTip(QStringLiteral("Maximize"));
  m_speedButton3->setText(QStringLiteral("□"));
  m_speedButton3->setFixedSize(22, 20);
  m_chart3->setCornerWidget(m_speedButton3);
  return m_panelP;
}

QWidget* TransformPage::buildArrowColumn() {
  m_arrows = new QWidget(this);
  m_arrows->setObjectName(QStringLiteral("ArrowColumn"));
  auto* v = new QVBoxLayout(m_arrows);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(4);
  m_btnTtoBF = MakeButton("BtnTtoBF", QString(), m_arrows);
  m_btnBFtoT = MakeButton("BtnBFtoT", QString(), m_arrows);
  for (QPushButton* arrow : {m_btnTtoBF, m_btnBFtoT}) {
    arrow->setFixedSize(40, 34);
    arrow->setIconSize(QSize(28, 20));
    arrow->setProperty("tag", 0);
  }
  m_btnTtoBF->setToolTip(QStringLiteral("T --> BF*"));
  m_btnBFtoT->setToolTip(QStringLiteral("BF --> T*"));

  m_panel15 = new QFrame(m_arrows);
  m_panel15->setObjectName(QStringLiteral("Panel15"));
  auto* swatches = new QVBoxLayout(m_panel15);
  swatches->setContentsMargins(0, 0, 0, 0);
  swatches->setSpacing(3);
  m_image6 = new ColorSwatch(QStringLiteral("Image6"), QStringLiteral("T"), kTemperatureColour, m_panel15);
  m_image6->setToolTip(QStringLiteral("Color Temperature"));
  m_image7 = new ColorSwatch(QStringLiteral("Image7"), QStringLiteral("BF"), kBloodFlowColour, m_panel15);
  m_image7->setToolTip(QStringLiteral("Color BloodFlow"));
  m_panel9 = MakeButton("Panel9", QStringLiteral("T"), m_panel15);
  m_panel10 = MakeButton("Panel10", QStringLiteral("BF"), m_panel15);
  for (QPushButton* panel : {m_panel9, m_panel10}) {
    panel->setFixedSize(34, 20);
    panel->setFlat(true);
    panel->setAutoFillBackground(true);
  }
  for (QWidget* w : std::initializer_list<QWidget*>{m_image6, m_image7, m_panel9, m_panel10}) {
    swatches->addWidget(w, 0, Qt::AlignHCenter);
  }

  v->addStretch(2);
  v->addWidget(m_btnTtoBF);
  v->addStretch(3);
  v->addWidget(m_panel15, 0, Qt::AlignHCenter);
  v->addStretch(3);
  v->addWidget(m_btnBFtoT);
  v->addStretch(2);
  return m_arrows;
}

QWidget* TransformPage::buildBottomPanel() {
  m_panel12 = new QFrame(this);
  m_panel12->setObjectName(QStringLiteral("Panel12"));
  m_panel12->setFrameShape(QFrame::StyledPanel);
  auto* row = new QHBoxLayout(m_panel12);
  row->setContentsMargins(4, 2, 4, 2);
  row->setSpacing(8);

  auto* method = new QVBoxLayout;
  method->setSpacing(1);
  auto* typeRow = new QHBoxLayout;
  typeRow->setSpacing(4);
  typeRow->addWidget(MakeLabel("Label3", QStringLiteral("Type of"), m_panel12));
  typeRow->addWidget(MakeLabel("Label24", QStringLiteral("transformation"), m_panel12));
  typeRow->addStretch();
  method->addLayout(typeRow);
  m_radioFourier = new QRadioButton(QStringLiteral("Fourier filtration"), m_panel12);
  m_radioFourier->setObjectName(QStringLiteral("RadioTypeFourier"));
  m_radioWavelet = new QRadioButton(QStringLiteral("Wavelet filtration"), m_panel12);
  m_radioWavelet->setObjectName(QStringLiteral("RadioTypeWavelet"));
  m_radioShitzer = new QRadioButton(QStringLiteral("Shitzer's model"), m_panel12);
  m_radioShitzer->setObjectName(QStringLiteral("RadioTypeShitzer"));
  m_radioFourier->setChecked(true);
  method->addWidget(m_radioFourier);
  method->addWidget(m_radioWavelet);
  method->addWidget(m_radioShitzer);
  m_checkBox1 = new QCheckBox(QStringLiteral("Nonlinear Relationship"), m_panel12);
  m_checkBox1->setObjectName(QStringLiteral("CheckBox1"));
  method->addWidget(m_checkBox1);
  row->addLayout(method);

  m_radioGroup2 = new QGroupBox(QStringLiteral("Fourier filtration"), m_panel12);
  m_radioGroup2->setObjectName(QStringLiteral("RadioGroup2"));
  auto* rg2 = new QVBoxLayout(m_radioGroup2);
  rg2->setContentsMargins(6, 2, 6, 2);
  m_thermalWave = new QRadioButton(QStringLiteral("Thermal wave"), m_radioGroup2);
  m_thermalWave->setObjectName(QStringLiteral("RadioGroup2Item0"));
  m_derivative = new QRadioButton(QStringLiteral("Derivative"), m_radioGroup2);
  m_derivative->setObjectName(QStringLiteral("RadioGroup2Item1"));
  m_thermalWave->setChecked(true);
  rg2->addWidget(m_thermalWave);
  rg2->addWidget(m_derivative);
  rg2->addStretch();
  // The model group shares its column with the start temperature of Shitzer's BF -> T*.
  auto* modelColumn = new QVBoxLayout;
  modelColumn->setSpacing(2);
  modelColumn->addWidget(m_radioGroup2, 1);
  auto* t0 = new QHBoxLayout;
  t0->setSpacing(2);
  m_label9 = MakeLabel("Label9", QStringLiteral(" (BF-->T*) T0:"), m_panel12);
  m_edit9 = MakeEdit("Edit9", QString(), m_panel12, 52);
  t0->addWidget(m_label9);
  t0->addWidget(m_edit9);
  t0->addStretch();
  modelColumn->addLayout(t0);
  // The wavelet of "Wavelet filtration" (shown with that method only, where T0 is hidden).
  m_radioGroup4 = new QGroupBox(m_panel12);
  m_radioGroup4->setObjectName(QStringLiteral("RadioGroup4"));
  m_radioGroup4->setFlat(true);
  auto* rg4 = new QHBoxLayout(m_radioGroup4);
  rg4->setContentsMargins(2, 0, 2, 0);
  m_morlet = new QRadioButton(QStringLiteral("Morle"), m_radioGroup4);
  m_morlet->setObjectName(QStringLiteral("RadioGroup4Item0"));
  m_paul = new QRadioButton(QStringLiteral("Paul"), m_radioGroup4);
  m_paul->setObjectName(QStringLiteral("RadioGroup4Item1"));
  m_morlet->setChecked(true);
  rg4->addWidget(m_morlet);
  rg4->addWidget(m_paul);
  m_radioGroup4->hide();
  modelColumn->addWidget(m_radioGroup4);
  row->addLayout(modelColumn);

  m_groupBox1 = new QGroupBox(QStringLiteral("Scaling"), m_panel12);
  m_groupBox1->setObjectName(QStringLiteral("GroupBox1"));
  auto* scaling = new QGridLayout(m_groupBox1);
  scaling->setContentsMargins(6, 2, 6, 2);
  scaling->setVerticalSpacing(1);
  const char* normNames[3] = {"RadioNormaliz1", "RadioNormaliz2", "RadioNormaliz3"};
  const QString normTexts[3] = {QStringLiteral("Normalized values"), QStringLiteral("Absolute values"),
                                QStringLiteral("Scaled values:")};
  for (int i = 0; i < 3; ++i) {
    m_normaliz[i] = new QRadioButton(normTexts[i], m_groupBox1);
    m_normaliz[i]->setObjectName(QString::fromLatin1(normNames[i]));
    scaling->addWidget(m_normaliz[i], i, 0, 1, 3);
  }
  m_normaliz[0]->setChecked(true);
  m_edit4 = MakeEdit("Edit4", QStringLiteral("1"), m_groupBox1, 44);
  m_edit5 = MakeEdit("Edit5", QStringLiteral("0"), m_groupBox1, 44);
  m_edit6 = MakeEdit("Edit6", QStringLiteral("1"), m_groupBox1, 44);
  m_edit7 = MakeEdit("Edit7", QStringLiteral("0"), m_groupBox1, 44);
  m_edit4->setToolTip(QStringLiteral("T*: a (a·x + b)"));
  m_edit5->setToolTip(QStringLiteral("T*: b (a·x + b)"));
  m_edit6->setToolTip(QStringLiteral("BF*: a (a·x + b)"));
  m_edit7->setToolTip(QStringLiteral("BF*: b (a·x + b)"));
  scaling->addWidget(new QLabel(QStringLiteral("T*"), m_groupBox1), 0, 3);
  scaling->addWidget(m_edit4, 0, 4);
  scaling->addWidget(m_edit5, 0, 5);
  scaling->addWidget(new QLabel(QStringLiteral("BF*"), m_groupBox1), 1, 3);
  scaling->addWidget(m_edit6, 1, 4);
  scaling->addWidget(m_edit7, 1, 5);
  row->addWidget(m_groupBox1);

  m_groupBox2 = new QGroupBox(QStringLiteral("Shitzer"), m_panel12);
  m_groupBox2->setObjectName(QStringLiteral("GroupBox2"));
  auto* tissue = new QGridLayout(m_groupBox2);
  tissue->setContentsMargins(6, 2, 6, 2);
  tissue->setVerticalSpacing(1);
  buildGrid();
  tissue->addWidget(m_grid, 0, 0, 3, 1);
  m_button1 = MakeButton("Button1", QStringLiteral("Skin"), m_groupBox2);
  m_button2 = MakeButton("Button2", QString(), m_groupBox2);
  m_button3 = MakeButton("Button3", QString(), m_groupBox2);
  for (QPushButton* b : {m_button1, m_button2, m_button3}) b->setFixedWidth(64);
  tissue->addWidget(m_button1, 0, 1);
  tissue->addWidget(m_button2, 1, 1);
  tissue->addWidget(m_button3, 2, 1);
  tissue->setRowStretch(3, 1);
  row->addWidget(m_groupBox2, 1);
  return m_panel12;
}

void TransformPage::buildGrid() {
  m_grid = new QTableWidget(3, 12, m_groupBox2);
  m_grid->setObjectName(QStringLiteral("StringGrid1"));
  m_grid->horizontalHeader()->hide();
  m_grid->verticalHeader()->hide();
  m_grid->verticalHeader()->setMinimumSectionSize(16);
  m_grid->verticalHeader()->setDefaultSectionSize(19);
  m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  m_grid->horizontalHeader()->setMinimumSectionSize(20);
  const int widths[12] = {44, 40, 66, 44, 40, 66, 50, 36, 74, 24, 30, 30};
  for (int c = 0; c < 12; ++c) m_grid->setColumnWidth(c, widths[c]);
  m_grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  m_grid->setFixedHeight(3 * 19 + 4 + m_grid->horizontalScrollBar()->sizeHint().height());
  m_grid->setMinimumWidth(230);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 12; ++c) m_grid->setItem(r, c, new QTableWidgetItem);
  }
}

int TransformPage::minimumContentWidth() const { return m_panel12->minimumSizeHint().width(); }

bool TransformPage::isBusy() const { return m_run->isBusy(); }

void TransformPage::waitForIdle() {
  // A finished run may start the next one (the Examples menu loads T, then BF).
  while (m_context->runner()->isBusy()) m_context->runner()->waitForIdle();
}

void TransformPage::setSampleRate(int hz) {
  if (m_upDown1->value() != hz) m_upDown1->setValue(hz);
  const QString hint = QString::number(hz) + QStringLiteral(" Hz");
  m_btnReadT->setToolTip(hint);
  m_btnReadBF->setToolTip(hint);
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
    if (TransformSession* s = session(); s && !isBusy()) s->setSampleRate(hz);
  });
  connect(m_btnReadT, &QPushButton::clicked, this, &TransformPage::readT);
  connect(m_btnReadBF, &QPushButton::clicked, this, &TransformPage::readBF);
  connect(m_btnTtoBF, &QPushButton::clicked, this, &TransformPage::btnTtoBF);
  connect(m_btnBFtoT, &QPushButton::clicked, this, &TransformPage::btnBFtoT);
  connect(m_btnOutputBF, &QPushButton::clicked, this, &TransformPage::outputBF);
  connect(m_btnOutputT, &QPushButton::clicked, this, &TransformPage::outputT);
  connect(m_btnSaveBF, &QPushButton::clicked, this, [this] { saveConverted(false); });
  connect(m_btnSaveT, &QPushButton::clicked, this, [this] { saveConverted(true); });
  connect(m_btnPlotBF, &QPushButton::clicked, this, [this] { plotChart(m_chart3); });
  connect(m_btnPlotT, &QPushButton::clicked, this, [this] { plotChart(m_chart4); });
  connect(m_speedButton4, &QToolButton::clicked, this, [this] { toggleEnlarged(0); });
  connect(m_speedButton3, &QToolButton::clicked, this, [this] { toggleEnlarged(1); });
  connect(m_image6, &ColorSwatch::clicked, this, [this] { chooseColor(0, false); });
  connect(m_image7, &ColorSwatch::clicked, this, [this] { chooseColor(1, false); });
  connect(m_panel9, &QPushButton::clicked, this, [this] { chooseColor(0, true); });
  connect(m_panel10, &QPushButton::clicked, this, [this] { chooseColor(1, true); });
  for (QRadioButton* radio : {m_radioFourier, m_radioWavelet, m_radioShitzer}) {
    connect(radio, &QRadioButton::toggled, this, [this](bool on) {
      if (on) onMethodChanged();
    });
  }
  connect(m_keyFilter, &BandEditFilter::enterPressed, this, &TransformPage::onBandEditEnter);
  for (int side = 0; side < 2; ++side) {
    connect(m_filterButton[side], &QPushButton::clicked, this, [this, side] { toggleFilterPanel(side); });
    connect(m_inputBox[side], &QCheckBox::clicked, this, [this, side] { onInputCheck(side, false); });
    connect(m_filteredBox[side], &QCheckBox::clicked, this, [this, side] { onInputCheck(side, true); });
    for (int i = 0; i < 3; ++i) {
      connect(m_letter[side][i], &QToolButton::clicked, this,
              [this, side, i] { setBand(side + 1, kPresets[i].low, kPresets[i].high); });
    }
    connect(m_strip[side], &FrequencyStrip::bandDragged, this,
            [this, side](double low, double high) { onStripDragged(side, low, high); });
    connect(m_strip[side], &FrequencyStrip::dragFinished, this, [this, side] { onStripReleased(side); });
    connect(m_strip[side], &FrequencyStrip::doubleClicked, this, [this, side] { onStripDoubleClicked(side); });
  }
  auto gridButton = [this](void (TransformSession::*press)()) {
    if (TransformSession* s = session(); s && !isBusy()) {
      (s->*press)();
      showGrid();
    }
  };
  connect(m_button1, &QPushButton::clicked, this, [gridButton] { gridButton(&TransformSession::pressSkinDefaults); });
  connect(m_button2, &QPushButton::clicked, this, [gridButton] { gridButton(&TransformSession::pressBloodDefaults); });
  connect(m_button3, &QPushButton::clicked, this, [gridButton] { gridButton(&TransformSession::pressAirDefaults); });
  connect(m_grid, &QTableWidget::cellChanged, this, &TransformPage::onGridEdited);
  connect(m_context, &AppContext::languageChanged, this, [this] { applyGridMode(); });
  // The session's owner takes the blood-flow curves other pages hand over (the PPG page's "<--").
  m_context->setBloodFlowReceiver(
      [this](const std::vector<double>& samples, const QString& source) { return takeBloodFlow(samples, source); });
  // Another page changed the session's records (the PPG page hands its blood-flow curve over).
  connect(m_context, &AppContext::sessionChanged, this, [this] {
    if (!isBusy()) showView();
  });
}

void TransformPage::setBand(int side, double lowHz, double highHz) {
  const int i = side == 2 ? 1 : 0;
  m_strip[i]->setBand(lowHz, highHz);
  m_lowEdit[i]->setText(FormatDecimal(lowHz));
  m_highEdit[i]->setText(FormatDecimal(highHz));
  filterSide(i, NoBandHighText(i));
}

void TransformPage::onStripDragged(int side, double lowHz, double highHz) {
  m_lowEdit[side]->setText(FormatDecimal(lowHz));
  m_highEdit[side]->setText(highHz >= 2.0 ? QStringLiteral("2") : FormatDecimal(highHz));
}

void TransformPage::onStripReleased(int side) {
  filterSide(side, NoBandHighText(side));
}

void TransformPage::onStripDoubleClicked(int side) {
  m_strip[side]->setBand(0.0, 2.0);
  m_lowEdit[side]->setText(QStringLiteral("0"));
  m_highEdit[side]->setText(QStringLiteral("2"));
  if (side == 1) {
    m_series21->setVisible(false);
    m_filteredBox[1]->setChecked(false);
    if (TransformSession* s = session(); s && !isBusy()) s->setFilterSignal(Side::BloodFlow, false);
  }
}

void TransformPage::onBandEditEnter(QObject* edit) {
  for (int side = 0; side < 2; ++side) {
    const bool low = edit == m_lowEdit[side];
    const bool high = edit == m_highEdit[side];
    if (!low && !high) continue;
    if (m_highEdit[side]->text().isEmpty()) return;
    bool ok = false;
    const double value = ParseDecimal(static_cast<QLineEdit*>(edit)->text(), &ok);
    if (!ok) {
      m_context->showError(
          QStringLiteral("'%1' is not a valid floating point value").arg(static_cast<QLineEdit*>(edit)->text()));
      return;
    }
    if (low) {
      m_strip[side]->setBand(value, m_strip[side]->highHz());
    } else {
      m_strip[side]->setBand(m_strip[side]->lowHz(), value);
    }
    filterSide(side, NoBandHighText(side));
    return;
  }
}

void TransformPage::onInputCheck(int side, bool filteredBox) {
  QCheckBox* input = m_inputBox[side];
  QCheckBox* filtered = m_filteredBox[side];
  QXYSeries* inputSeries = side == 0 ? m_series1 : m_series2;
  QXYSeries* filteredSeries = side == 0 ? m_series19 : m_series21;
  // At least one of the two curves stays shown.
  if (!input->isChecked() && !filtered->isChecked()) {
    (filteredBox ? input : filtered)->setChecked(true);
  }
  inputSeries->setVisible(input->isChecked());
  filteredSeries->setVisible(filtered->isChecked());
  if (side == 0) m_series20->setVisible(false);
  if (TransformSession* s = session(); s && !isBusy()) {
    if (side == 0) {
      s->setFilterSignal(Side::Temperature, filtered->isChecked());
    } else {
      s->setFilterSignal(Side::BloodFlow, filtered->isChecked());
    }
  }
}

void TransformPage::toggleFilterPanel(int side) {
  const bool collapse = !m_filterPanel[side]->property("collapsed").toBool();
  m_filterPanel[side]->setProperty("collapsed", collapse);
  for (QToolButton* letter : m_letter[side]) letter->setVisible(!collapse);
  m_filterButton[side]->setIcon(FoldIcon(!collapse));
  if (collapse) {
    m_filteredBox[side]->setChecked(false);
    if (TransformSession* s = session(); s && !isBusy()) {
      if (side == 0) {
        s->setFilterSignal(Side::Temperature, false);
      } else {
        s->setFilterSignal(Side::BloodFlow, false);
      }
    }
    (side == 0 ? m_series19 : m_series21)->setVisible(false);
    if (!m_inputBox[side]->isChecked()) {
      m_inputBox[side]->setChecked(true);
      (side == 0 ? m_series1 : m_series2)->setVisible(true);
    }
  }
}

void TransformPage::chooseColor(int side, bool fromPanel) {
  QPushButton* panel = side == 0 ? m_panel9 : m_panel10;
  const QColor current = panel->property("panelColor").value<QColor>();
  const QColor chosen = QColorDialog::getColor(
      current, this, side == 0 ? QStringLiteral("Color Temperature") : QStringLiteral("Color BloodFlow"));
  if (!chosen.isValid()) return;
  (side == 0 ? m_image6 : m_image7)->setColor(chosen);
  // A click on the panel also writes its caption in the complementary colour.
  if (fromPanel) m_panelText[side] = QColor::fromRgb(chosen.rgb() ^ 0xFFFFFF);
  refreshSeriesColours();
}

void TransformPage::refreshSeriesColours() {
  const QColor t = m_image6->color();
  const QColor bf = m_image7->color();
  for (QXYSeries* s : {m_series1, m_series3, m_series6}) s->setColor(t);
  for (QXYSeries* s : {m_series2, m_series4, m_series5}) s->setColor(bf);
  m_chart1->setTitleColor(t);
  m_chart4->setTitleColor(t);
  m_chart2->setTitleColor(bf);
  m_chart3->setTitleColor(bf);
  for (int side = 0; side < 2; ++side) {
    QPushButton* panel = side == 0 ? m_panel9 : m_panel10;
    const QColor colour = side == 0 ? t : bf;
    panel->setStyleSheet(QStringLiteral("background-color: %1; color: %2; border: 1px solid %3;")
                             .arg(colour.name(), m_panelText[side].name(), colour.darker(130).name()));
    panel->setProperty("panelColor", colour);
  }
}

void TransformPage::hideBandScales() {
  for (int side = 0; side < 2; ++side) {
    m_strip[side]->hide();
    m_lowEdit[side]->hide();
    m_highEdit[side]->hide();
    for (QToolButton* letter : m_letter[side]) letter->hide();
  }
  m_speedButton3->hide();
  m_speedButton4->hide();
}

void TransformPage::showBandScales() {
  for (int side = 0; side < 2; ++side) {
    m_strip[side]->show();
    m_lowEdit[side]->show();
    m_highEdit[side]->show();
    // The letter buttons come back only on the sides whose filter panel is expanded.
    const bool expanded = !m_filterPanel[side]->property("collapsed").toBool();
    for (QToolButton* letter : m_letter[side]) letter->setVisible(expanded);
  }
  m_speedButton3->show();
  m_speedButton4->show();
}

void TransformPage::toggleEnlarged(int side) {
  if (m_timer1.isActive()) return;
  QWidget* moving = side == 0 ? m_panelL : m_panelP;
  QToolButton* button = side == 0 ? m_speedButton4 : m_speedButton3;
  const bool enlarge = side == 0 ? m_layoutState != InputEnlarged : m_layoutState != OutputEnlarged;
  const int fullWidth = width() - 8;
  const int halfWidth = (width() - m_arrows->width() - 8) / 2;

  auto finish = [this, moving, button, enlarge, side] {
    moving->setMinimumWidth(0);
    moving->setMaximumWidth(QWIDGETSIZE_MAX);
    if (!enlarge) {
      (side == 0 ? m_panelP : m_panelL)->show();
      m_arrows->show();
      m_panel12->show();
    }
    button->setToolTip(enlarge ? QStringLiteral("Minimize") : QStringLiteral("Maximize"));
    m_layoutState =
        enlarge ? (side == 0 ? InputEnlarged : OutputEnlarged) : (side == 0 ? BothSides : BothSidesRestored);
    for (QSplitter* splitter : {m_splitterL, m_splitterP}) {
      const int h = splitter->height();
      splitter->setSizes({h / 2, h - h / 2});
    }
    showBandScales();
  };

  if (enlarge) {
    (side == 0 ? m_panelP : m_panelL)->hide();
    m_arrows->hide();
    m_panel12->hide();
  }
  if (!m_context->animation()) {
    finish();
    return;
  }
  hideBandScales();
  m_animated = moving;
  m_animationTarget = enlarge ? fullWidth : halfWidth;
  moving->setFixedWidth(moving->width());
  m_animationDone = finish;
  m_timer1.start();
}

void TransformPage::animateStep() {
  if (!m_animated) {
    m_timer1.stop();
    return;
  }
  const int current = m_animated->width();
  const int remaining = m_animationTarget - current;
  // Each tick covers half of the remaining distance, rounded up.
  const int step = remaining > 0 ? (remaining + 1) / 2 : -((-remaining + 1) / 2);
  m_animated->setFixedWidth(current + step);
  if (step == 0 || current + step == m_animationTarget) {
    m_timer1.stop();
    m_animated = nullptr;
    if (m_animationDone) m_animationDone();
    m_animationDone = nullptr;
  }
}

void TransformPage::applyGridMode() {
  const bool shitzer = m_radioShitzer->isChecked();
  const bool russian = m_context->russian();
  m_label9->setVisible(shitzer);
  m_edit9->setVisible(shitzer);
  // "Blood" and "Air" exist only for Shitzer's model; otherwise both buttons are disabled and blank.
  m_button2->setEnabled(shitzer);
  m_button3->setEnabled(shitzer);
  m_button2->setText(shitzer ? (russian ? QStringLiteral("Кровь") : QStringLiteral("Blood")) : QString());
  m_button3->setText(shitzer ? (russian ? QStringLiteral("Воздух") : QStringLiteral("Air")) : QString());
  showGrid();
}

void TransformPage::onMethodChanged() {
  if (TransformSession* s = session(); s && !isBusy()) {
    s->setMethod(m_radioShitzer->isChecked()   ? ConversionMethod::Shitzer
                 : m_radioWavelet->isChecked() ? ConversionMethod::Wavelet
                                               : ConversionMethod::Fourier);
  }
  applyGridMode();
  m_radioGroup2->setEnabled(!m_radioShitzer->isChecked());
  m_radioGroup4->setVisible(m_radioWavelet->isChecked());
  showView();
}

void TransformPage::resetOutputSide(int side) {
  if (side == 0) {
    m_btnTtoBF->setIcon(ArrowIcon(false));
    m_btnTtoBF->setProperty("tag", 0);
    m_btnSaveBF->setEnabled(false);
    m_btnPlotBF->setEnabled(false);
  } else {
    m_btnBFtoT->setIcon(ArrowIcon(false));
    m_btnBFtoT->setProperty("tag", 0);
    m_btnSaveT->setEnabled(false);
    m_btnPlotT->setEnabled(false);
  }
  m_btnOutputBF->setEnabled(false);
  m_btnOutputT->setEnabled(false);
  m_lbCorrel1->clear();
  m_lbCorrel2->clear();
}

void TransformPage::readT() {
  const QString path =
      QFileDialog::getOpenFileName(this, QStringLiteral("Temperature"), QString(), QStringLiteral("Text file (*.txt)"));
  if (path.isEmpty()) return;
  // The source text is the session's: it names the file once the load has succeeded.
  loadT(path);
}

void TransformPage::readBF() {
  const QString path =
      QFileDialog::getOpenFileName(this, QStringLiteral("BloodFlow"), QString(), QStringLiteral("Text file (*.txt)"));
  if (path.isEmpty()) return;
  loadBF(path);
}

void TransformPage::loadExample(int number) {
  if (isBusy()) return;
  const QString folder = AppContext::dataFolder() + QStringLiteral("/Examples/");
  const QString t = folder + QStringLiteral("T%1.txt").arg(number);
  const QString bf = folder + QStringLiteral("BF%1.txt").arg(number);
  if (!QFileInfo::exists(t)) {
    m_context->showError(QStringLiteral("File ") + t + QStringLiteral(" does not exist"));
    return;
  }
  const QString label = QStringLiteral("Example %1").arg(number);
  // T first; the BF file is tried only after T loaded.
  loadRecord(true, t, label, [this, bf, label](bool ok) {
    if (!ok) return;
    if (!QFileInfo::exists(bf)) {
      m_context->showError(QStringLiteral("File ") + bf + QStringLiteral(" does not exist"));
      return;
    }
    loadRecord(false, bf, label, nullptr);
  });
}

bool TransformPage::loadT(const QString& path) { return loadRecord(true, path, QString(), nullptr); }

bool TransformPage::loadBF(const QString& path) { return loadRecord(false, path, QString(), nullptr); }

bool TransformPage::loadRecord(bool temperature, const QString& path, const QString& label,
                               std::function<void(bool)> then) {
  TransformSession* s = session();
  if (!s || isBusy()) return false;
  syncSession();
  return runJob(s->prepareLoadFile(temperature ? Side::Temperature : Side::BloodFlow, path.toStdString(),
                                    label.toStdString()),
                [then = std::move(then)](const SessionResult& result) {
                  if (then) then(result.ok());
                });
}

bool TransformPage::takeBloodFlow(const std::vector<double>& samples, const QString& source) {
  TransformSession* s = session();
  if (!s || isBusy()) return false;
  syncSession();
  return runJob(s->prepareLoadBFFromSamples(samples, source.toStdString()), [this](const SessionResult& result) {
    if (!result.ok()) return;
    m_context->notifySessionChanged();
    if (auto* pages = qobject_cast<QTabWidget*>(parentWidget() ? parentWidget()->parentWidget() : nullptr)) {
      pages->setCurrentIndex(0);
    }
  });
}

void TransformPage::filterSide(int side, const QString& noBandHigh) {
  TransformSession* s = session();
  if (!s || isBusy()) return;
  syncSession();
  const bool loaded = s->loaded(side == 0 ? Side::Temperature : Side::BloodFlow);
  if (!loaded) return;
  if (m_lowEdit[side]->text() == QStringLiteral("0") && m_highEdit[side]->text() == noBandHigh) {
    if (side == 0) {
      s->setFilterSignal(Side::Temperature, false);
    } else {
      s->setFilterSignal(Side::BloodFlow, false);
    }
    showView();
    return;
  }
  if (m_radioShitzer->isChecked()) return;
  runJob(s->prepareFilter(side == 0 ? Side::Temperature : Side::BloodFlow), nullptr);
}

void TransformPage::btnTtoBF() {
  TransformSession* s = session();
  if (!s || isBusy() || m_btnTtoBF->property("tag").toInt() != 1) return;
  syncSession();
  m_lbCorrel1->clear();
  runJob(s->prepareConversion(Side::Temperature), [this](const SessionResult&) {
    if (auto* pages = qobject_cast<QTabWidget*>(parentWidget() ? parentWidget()->parentWidget() : nullptr)) {
      pages->setCurrentIndex(0);
    }
  });
}

void TransformPage::btnBFtoT() {
  TransformSession* s = session();
  if (!s || isBusy() || m_btnBFtoT->property("tag").toInt() != 1) return;
  syncSession();
  setFocus();
  m_lbCorrel2->clear();
  runJob(s->prepareConversion(Side::BloodFlow), nullptr);
}

void TransformPage::outputBF() {
  TransformSession* s = session();
  if (!s || isBusy()) return;
  syncSession();
  finishOperation(s->OutputBF());
}

void TransformPage::outputT() {
  TransformSession* s = session();
  if (!s || isBusy()) return;
  syncSession();
  finishOperation(s->OutputT());
}

void TransformPage::saveConverted(bool temperature) {
  if (!session() || isBusy()) return;
  const QString name = QFileDialog::getSaveFileName(this, temperature ? QStringLiteral("T*") : QStringLiteral("BF*"),
                                                    QString(), QStringLiteral("Text file (*.txt)"));
  if (name.isEmpty()) return;
  saveConvertedTo(temperature, name);
}

bool TransformPage::saveConvertedTo(bool temperature, const QString& name) {
  TransformSession* s = session();
  if (!s || isBusy()) return false;
  syncSession();
  const SessionResult result = s->Save(temperature ? Side::BloodFlow : Side::Temperature,
                                       EnsureExtension(name.toStdString(), ".txt"));
  if (!result.ok()) m_context->showError(QString::fromStdString(result.error));
  return result.ok();
}

TransformSession* TransformPage::session() const { return m_context->session(); }

void TransformPage::syncSession() {
  TransformSession* s = session();
  if (!s || isBusy()) return;
  s->setDecimalSeparator(DecimalSeparator().toLatin1());
  s->setSampleRate(m_context->gerc());
  s->setModel(m_derivative->isChecked() ? ConversionModel::Derivative : ConversionModel::ThermalWave);
  s->setNonlinear(m_checkBox1->isChecked());
  s->setScalingMode(m_normaliz[0]->isChecked()   ? ScalingMode::Normalized
                    : m_normaliz[1]->isChecked() ? ScalingMode::Absolute
                                                 : ScalingMode::Scaled);
  s->setScalingTexts(Side::BloodFlow, m_edit4->text().toStdString(), m_edit5->text().toStdString());
  s->setScalingTexts(Side::Temperature, m_edit6->text().toStdString(), m_edit7->text().toStdString());
  s->setStartTemperatureText(m_edit9->text().toStdString());
  for (int side = 0; side < 2; ++side) {
    const Side which = side == 0 ? Side::Temperature : Side::BloodFlow;
    s->setBand(which, m_strip[side]->lowHz(), m_strip[side]->highHz());
    s->setBandTexts(which, m_lowEdit[side]->text().toStdString(), m_highEdit[side]->text().toStdString());
    s->setFilterSignal(which, m_filteredBox[side]->isChecked());
  }
  if (WaveletMethods* wavelet = m_context->waveletMethods()) {
    wavelet->setConversionType(m_paul->isChecked() ? WaveletType::Paul : WaveletType::Morlet);
    wavelet->setThreads(m_context->potoks());
  }
}

void TransformPage::finishOperation(const SessionResult& result) {
  m_lastResultOk = result.ok();
  if (!result.ok()) {
    m_context->showError(QString::fromStdString(result.error));
    return;
  }
  showView();
  if (!result.notice.empty()) m_context->showError(QString::fromStdString(result.notice));
}

void TransformPage::showView() {
  TransformSession* s = session();
  if (!s) return;
  const TransformViewState v = s->viewState();
  // An operation may change the records' rate (the wavelet conversion works at 2 Hz): the spin box follows it.
  if (m_upDown1->value() != v.sampleRateHz) m_upDown1->setValue(v.sampleRateHz);
  const char separator = DecimalSeparator().toLatin1();
  QPushButton* const arrows[2] = {m_btnTtoBF, m_btnBFtoT};
  QLineEdit* const sources[2] = {m_edit10, m_edit16};
  QLineEdit* const counts[2] = {m_edit17, m_edit18};
  QPushButton* const saves[2] = {m_btnSaveBF, m_btnSaveT};
  QPushButton* const plots[2] = {m_btnPlotBF, m_btnPlotT};
  QPushButton* const outputs[2] = {m_btnOutputBF, m_btnOutputT};
  QLabel* const correlations[2] = {m_lbCorrel1, m_lbCorrel2};
  PlotView* const measuredCharts[2] = {m_chart1, m_chart2};
  QXYSeries* const measuredSeries[2] = {m_series1, m_series2};
  QXYSeries* const filteredSeries[2] = {m_series19, m_series21};
  PlotView* const convertedCharts[2] = {m_chart3, m_chart4};
  QXYSeries* const convertedSeries[2] = {m_series3, m_series4};
  QXYSeries* const overlaySeries[2] = {m_series5, m_series6};
  auto show = [](PlotView* chart, QXYSeries* series, const ChartSeries& data, bool visible) {
    chart->setPoints(series, data.x, data.y, false);
    series->setVisible(visible && !data.empty());
  };
  for (int i = 0; i < 2; ++i) {
    const Side side = i == 0 ? Side::Temperature : Side::BloodFlow;
    const SideView& view = v.side(side);
    arrows[i]->setIcon(ArrowIcon(view.loaded));
    arrows[i]->setProperty("tag", view.loaded ? 1 : 0);
    if (view.loaded) {
      sources[i]->setText(SourceText(side, QString::fromStdString(view.source)));
      counts[i]->setText(PointsText(view.sampleCount));
    }
    const ConvertedView& converted = view.converted;
    saves[i]->setEnabled(converted.ready);
    plots[i]->setEnabled(converted.ready);
    outputs[i]->setEnabled(converted.outputEnabled);
    correlations[i]->setText(converted.correlation
                                 ? CorrelationLabel(m_context->language(), *converted.correlation, separator)
                                 : QString());
    m_filteredBox[i]->setChecked(view.filterTicked);
    show(measuredCharts[i], measuredSeries[i], view.measured, m_inputBox[i]->isChecked());
    show(measuredCharts[i], filteredSeries[i], view.filtered, view.filterTicked);
    show(convertedCharts[i], convertedSeries[i], converted.curve, true);
    show(convertedCharts[i], overlaySeries[i], converted.overlay, true);
    // With the filtered curve unticked the input curve is shown, so that one of the two always is.
    if (!m_filteredBox[i]->isChecked() && !m_inputBox[i]->isChecked()) {
      m_inputBox[i]->setChecked(true);
      measuredSeries[i]->setVisible(true);
    }
    convertedCharts[i]->setLeftTitle(ConvertedAxisTitle(side, converted.axis));
  }
  m_label9->setVisible(v.startTemperatureShown);
  m_edit9->setVisible(v.startTemperatureShown);
  for (PlotView* chart : {m_chart1, m_chart2, m_chart3, m_chart4}) chart->fitToData();
  showGrid();
}

void TransformPage::showGrid() {
  TransformSession* s = session();
  if (!s) return;
  m_gridUpdating = true;
  const ParameterGrid& grid = s->grid();
  const bool shitzer = m_radioShitzer->isChecked();
  // Shitzer's model uses the three groups of columns 0-8; the thermal wave also the D group (9-11).
  for (int c = 9; c < kGridColumns; ++c) m_grid->setColumnHidden(c, shitzer);
  const bool russian = m_context->russian();
  for (int r = 0; r < kGridRows; ++r) {
    for (int c = 0; c < kGridColumns; ++c) {
      QTableWidgetItem* item = m_grid->item(r, c);
      QString text = QString::fromStdString(grid.cell(c, r));
      bool editable = false;
      if (r == 0 && text.isEmpty()) {
        // Header row: the group names over the label cells.
        if (c == 0) text = russian ? QStringLiteral("Кожа") : QStringLiteral("Skin");
        if (shitzer && c == 3) text = russian ? QStringLiteral("Кровь") : QStringLiteral("Blood");
        if (shitzer && c == 6) text = russian ? QStringLiteral("Воздух") : QStringLiteral("Air");
      } else if (r > 0) {
        // Value cells are the middle cell of each (label, value, unit) group that has a label.
        editable = c % 3 == 1 && !grid.cell(c - 1, r).empty();
      }
      item->setText(text);
      item->setFlags(editable ? Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemIsSelectable : Qt::ItemIsEnabled);
      item->setBackground(r == 0 ? palette().color(QPalette::Button)
                                 : (editable ? QColor(Qt::white) : palette().color(QPalette::AlternateBase)));
    }
  }
  m_gridUpdating = false;
}

void TransformPage::onGridEdited(int row, int column) {
  TransformSession* s = session();
  if (m_gridUpdating || !s || isBusy()) return;
  const GridEditResult result = s->editGridCell(column, row, m_grid->item(row, column)->text().toStdString());
  if (!result.ok()) {
    m_context->showError(GridEditMessage(result));
    showGrid();
  }
}

void TransformPage::plotChart(PlotView* chart) {
  const QString bitmaps = QStringLiteral("Bitmaps (*.bmp)");
  const QString png = QStringLiteral("PNG pictures (*.png)");
  QString filter = bitmaps;
  const QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Plot"), QString(),
                                                    bitmaps + QStringLiteral(";;") + png, &filter);
  if (name.isEmpty()) return;
  savePlot(chart, name, filter == png ? QStringLiteral(".png") : QStringLiteral(".bmp"));
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

bool TransformPage::runJob(TransformSession::Job job, std::function<void(const SessionResult&)> then) {
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
  for (QWidget* w : std::initializer_list<QWidget*>{m_btnReadT, m_btnReadBF, m_btnTtoBF, m_btnBFtoT, m_panel12,
                                                    m_strip[0], m_strip[1], m_upDown1}) {
    w->setEnabled(!busy);
  }
  setCursor(busy ? Qt::BusyCursor : Qt::ArrowCursor);
}

}  // namespace kelvora
