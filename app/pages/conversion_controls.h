#pragma once
// The lower panel of the Transform page (Panel12): the conversion method, "Nonlinear Relationship", the model
// (RadioGroup2) with the start temperature T0 of Shitzer's BF -> T*, the wavelet of "Wavelet filtration"
// (RadioGroup4), the scaling group (GroupBox1) and the tissue parameters (a ParameterGridView).
#include <QFrame>
#include <string>

#include "signals/transform_session.h"
#include "wavelet/wavelet_types.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace kelvora {

class ParameterGridView;

// The controls that choose how the records are converted; they only hold the choices, which the Transform page
// hands to its session as they change. UI thread only.
class ConversionControls : public QFrame {
  Q_OBJECT

 public:
  explicit ConversionControls(QWidget* parent);

  ConversionMethod method() const;     // RadioTypeFourier, RadioTypeWavelet, RadioTypeShitzer
  ConversionModel model() const;       // RadioGroup2: "Thermal wave", "Derivative"
  bool nonlinear() const;              // CheckBox1
  ScalingMode scaling() const;         // RadioNormaliz1 .. RadioNormaliz3
  // The a and b texts of "Scaled values:" for the record converted from `side`: Edit6/Edit7 for BF*, Edit4/Edit5
  // for T*.
  std::string scaleText(Side side, int index) const;
  std::string startTemperatureText() const;  // Edit9
  WaveletType waveletType() const;            // RadioGroup4: "Morle", "Paul"
  ParameterGridView* gridView() const { return m_gridView; }

  // Shows T0 with Shitzer's model only, the wavelet choice with the wavelet method only, and enables the model
  // group except with Shitzer's model.
  void showMethodControls();

 signals:
  // The user chose another method.
  void methodChanged();
  // The user changed the model, the power law, the wavelet, the scaling or one of its texts, or T0.
  void settingsChanged();

 private:
  QRadioButton* m_methods[3] = {};  // Fourier, wavelet, Shitzer
  QCheckBox* m_checkBox1 = nullptr;
  QGroupBox* m_radioGroup2 = nullptr;
  QRadioButton* m_derivative = nullptr;
  QLabel* m_label9 = nullptr;
  QLineEdit* m_edit9 = nullptr;
  QGroupBox* m_radioGroup4 = nullptr;
  QRadioButton* m_paul = nullptr;
  QRadioButton* m_normaliz[3] = {};
  QLineEdit* m_scaleEdits[2][2] = {};  // [side converted from][a, b]
  ParameterGridView* m_gridView = nullptr;
};

}  // namespace kelvora
