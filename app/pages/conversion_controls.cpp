#include "pages/conversion_controls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "shell/named_controls.h"
#include "shell/number_text.h"
#include "pages/parameter_grid_view.h"

namespace kelvora {

namespace {

QRadioButton* Radio(const char* name, const QString& text, QWidget* parent) {
  auto* button = new QRadioButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

}  // namespace

ConversionControls::ConversionControls(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("Panel12"));
  setFrameShape(QFrame::StyledPanel);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(4, 2, 4, 2);
  row->setSpacing(8);

  auto* method = new QVBoxLayout;
  method->setSpacing(1);
  auto* typeRow = new QHBoxLayout;
  typeRow->setSpacing(4);
  typeRow->addWidget(NamedLabel("Label3", QStringLiteral("Type of"), this));
  typeRow->addWidget(NamedLabel("Label24", QStringLiteral("transformation"), this));
  typeRow->addStretch();
  method->addLayout(typeRow);
  m_methods[0] = Radio("RadioTypeFourier", QStringLiteral("Fourier filtration"), this);
  m_methods[1] = Radio("RadioTypeWavelet", QStringLiteral("Wavelet filtration"), this);
  m_methods[2] = Radio("RadioTypeShitzer", QStringLiteral("Shitzer's model"), this);
  m_methods[0]->setChecked(true);
  // The three in a group of their own: as plain siblings Qt counted the checked radios of the group boxes below
  // as theirs, and pressing the checked method again unchecked it (no method, the grid without its buttons).
  auto* methods = new QButtonGroup(this);
  for (QRadioButton* m : m_methods) methods->addButton(m);
  m_checkBox1 = new QCheckBox(QStringLiteral("Nonlinear Relationship"), this);
  m_checkBox1->setObjectName(QStringLiteral("CheckBox1"));
  for (QWidget* w : std::initializer_list<QWidget*>{m_methods[0], m_methods[1], m_methods[2], m_checkBox1})
    method->addWidget(w);
  row->addLayout(method);

  m_radioGroup2 = new QGroupBox(QStringLiteral("Fourier filtration"), this);
  m_radioGroup2->setObjectName(QStringLiteral("RadioGroup2"));
  auto* rg2 = new QVBoxLayout(m_radioGroup2);
  rg2->setContentsMargins(6, 2, 6, 2);
  QRadioButton* thermalWave = Radio("RadioGroup2Item0", QStringLiteral("Thermal wave"), m_radioGroup2);
  m_derivative = Radio("RadioGroup2Item1", QStringLiteral("Derivative"), m_radioGroup2);
  thermalWave->setChecked(true);
  rg2->addWidget(thermalWave);
  rg2->addWidget(m_derivative);
  rg2->addStretch();
  // The model group shares its column with the start temperature of Shitzer's BF -> T*.
  auto* modelColumn = new QVBoxLayout;
  modelColumn->setSpacing(2);
  modelColumn->addWidget(m_radioGroup2, 1);
  auto* t0 = new QHBoxLayout;
  t0->setSpacing(2);
  m_label9 = NamedLabel("Label9", QStringLiteral(" (BF-->T*) T0:"), this);
  m_edit9 = NamedEdit("Edit9", QStringLiteral("36") + DecimalSeparator() + QStringLiteral("24"), this, 52);
  t0->addWidget(m_label9);
  t0->addWidget(m_edit9);
  t0->addStretch();
  modelColumn->addLayout(t0);
  // The wavelet of "Wavelet filtration" (shown with that method only, where T0 is hidden).
  m_radioGroup4 = new QGroupBox(this);
  m_radioGroup4->setObjectName(QStringLiteral("RadioGroup4"));
  m_radioGroup4->setFlat(true);
  auto* rg4 = new QHBoxLayout(m_radioGroup4);
  rg4->setContentsMargins(2, 0, 2, 0);
  QRadioButton* morlet = Radio("RadioGroup4Item0", QStringLiteral("Morle"), m_radioGroup4);
  m_paul = Radio("RadioGroup4Item1", QStringLiteral("Paul"), m_radioGroup4);
  morlet->setChecked(true);
  rg4->addWidget(morlet);
  rg4->addWidget(m_paul);
  m_radioGroup4->hide();
  modelColumn->addWidget(m_radioGroup4);
  row->addLayout(modelColumn);

  auto* groupBox1 = new QGroupBox(QStringLiteral("Scaling"), this);
  groupBox1->setObjectName(QStringLiteral("GroupBox1"));
  auto* scaling = new QGridLayout(groupBox1);
  scaling->setContentsMargins(6, 2, 6, 2);
  scaling->setVerticalSpacing(1);
  const char* normNames[3] = {"RadioNormaliz1", "RadioNormaliz2", "RadioNormaliz3"};
  const QString normTexts[3] = {QStringLiteral("Normalized values"), QStringLiteral("Absolute values"),
                                QStringLiteral("Scaled values:")};
  for (int i = 0; i < 3; ++i) {
    m_normaliz[i] = Radio(normNames[i], normTexts[i], groupBox1);
    scaling->addWidget(m_normaliz[i], i, 0, 1, 3);
  }
  m_normaliz[0]->setChecked(true);
  // a and b of the record converted from each side: T* (from BF) in the first row, BF* (from T) in the second.
  const char* editNames[2][2] = {{"Edit6", "Edit7"}, {"Edit4", "Edit5"}};
  const QString records[2] = {QStringLiteral("BF*"), QStringLiteral("T*")};
  for (Side side : {Side::BloodFlow, Side::Temperature}) {
    const std::size_t i = SideIndex(side);
    const int gridRow = side == Side::BloodFlow ? 0 : 1;
    scaling->addWidget(new QLabel(records[i], groupBox1), gridRow, 3);
    for (int k = 0; k < 2; ++k) {
      QLineEdit*& edit = m_scaleEdits[i][k];
      edit = NamedEdit(editNames[i][k], k == 0 ? QStringLiteral("1") : QStringLiteral("0"), groupBox1, 44);
      edit->setToolTip(records[i] + (k == 0 ? QStringLiteral(": a (a·x + b)") : QStringLiteral(": b (a·x + b)")));
      scaling->addWidget(edit, gridRow, 4 + k);
    }
  }
  row->addWidget(groupBox1);
  m_gridView = new ParameterGridView(this);
  row->addWidget(m_gridView, 1);

  for (QRadioButton* radio : m_methods) {
    connect(radio, &QRadioButton::toggled, this, [this](bool on) {
      if (on) emit methodChanged();
    });
  }
  // Every other choice reports itself as it changes, so that the page hands it to its session at once.
  for (QRadioButton* radio : {thermalWave, m_derivative, morlet, m_paul, m_normaliz[0], m_normaliz[1], m_normaliz[2]}) {
    connect(radio, &QRadioButton::toggled, this, [this](bool on) {
      if (on) emit settingsChanged();
    });
  }
  connect(m_checkBox1, &QCheckBox::toggled, this, &ConversionControls::settingsChanged);
  connect(m_edit9, &QLineEdit::textChanged, this, &ConversionControls::settingsChanged);
  for (auto& pair : m_scaleEdits)
    for (QLineEdit* edit : pair) connect(edit, &QLineEdit::textChanged, this, &ConversionControls::settingsChanged);
  showMethodControls();
}

ConversionMethod ConversionControls::method() const {
  return m_methods[2]->isChecked()   ? ConversionMethod::Shitzer
         : m_methods[1]->isChecked() ? ConversionMethod::Wavelet
                                     : ConversionMethod::Fourier;
}

ConversionModel ConversionControls::model() const {
  return m_derivative->isChecked() ? ConversionModel::Derivative : ConversionModel::ThermalWave;
}

bool ConversionControls::nonlinear() const { return m_checkBox1->isChecked(); }

ScalingMode ConversionControls::scaling() const {
  return m_normaliz[0]->isChecked()   ? ScalingMode::Normalized
         : m_normaliz[1]->isChecked() ? ScalingMode::Absolute
                                      : ScalingMode::Scaled;
}

std::string ConversionControls::scaleText(Side side, int index) const {
  return m_scaleEdits[SideIndex(side)][index]->text().toStdString();
}

std::string ConversionControls::startTemperatureText() const { return m_edit9->text().toStdString(); }

WaveletType ConversionControls::waveletType() const {
  return m_paul->isChecked() ? WaveletType::Paul : WaveletType::Morlet;
}

void ConversionControls::showMethodControls() {
  const ConversionMethod chosen = method();
  m_label9->setVisible(chosen == ConversionMethod::Shitzer);
  m_edit9->setVisible(chosen == ConversionMethod::Shitzer);
  m_radioGroup2->setEnabled(chosen != ConversionMethod::Shitzer);
  m_radioGroup4->setVisible(chosen == ConversionMethod::Wavelet);
}

}  // namespace kelvora
