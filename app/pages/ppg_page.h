#pragma once
// Page of the main window: the PPG to blood-flow workspace.
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "signals/ppg_envelope.h"
#include "formats/ppg_file.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace kelvora {

class AppContext;
class PageRun;
class PlotView;

// One page of PageControl1 (object name "TabSheet3"): a photoplethysmogram (BtnPPG, Chart7/Series9), its
// accepted pulse maxima and minima (Series13, Series12), and its envelope resampled at the output rate
// (BtnPPGintoBF, Chart8/Series10), saved by BtnSavePPGBF or handed to the Transform page's BF record by BitBtn20
// "<--" (the Transform page runs the hand-over). The envelope is the page's background run. UI thread only.
class PpgPage : public QWidget {
  Q_OBJECT

 public:
  PpgPage(AppContext* context, QWidget* parent = nullptr);
  ~PpgPage() override;

  // Loads the example photoplethysmogram 1 or 2 (menu items "Example PPG 1", "Example PPG 2") from
  // Examples/PPG<n>.txt beside the program. Returns false when it could not be read (the error was shown).
  bool loadExample(int number);
  // Reads a PPG file (BtnPPG after its dialog); `title` is shown in Edit3 (the file name when empty). A failed
  // read shows the error and keeps the page as it was.
  bool loadPpg(const QString& path, const QString& title = QString());
  // Opens `path` as BtnPPG and drops do: a one-column text file through loadPpg, any other file through the
  // Import dialog (its channel at the file's own rate becomes the PPG and the input rate). Nothing changes when
  // the dialog is cancelled or the import fails.
  bool openFile(const QString& path);
  // A photoplethysmogram of `values` at `rateHz` (> 0), titled `title`, as a read of a file would show it.
  bool loadSamples(std::vector<double> values, double rateHz, const QString& title);
  // BtnPPGintoBF: starts the envelope computation. False when it cannot start (no PPG, a bad edit, busy).
  bool computeEnvelope();
  // BtnSavePPGBF after its dialog: writes round(T x r_out) envelope samples; ".txt" is ensured.
  bool saveEnvelope(const QString& path);
  // BitBtn20 "<--": starts loading the envelope into the Transform page's BF record.
  bool handOver();

  const PpgSignal& ppg() const { return m_ppg; }
  bool ppgLoaded() const { return m_loaded; }
  const PpgEnvelope& envelope() const { return m_envelope; }
  bool isBusy() const;

 private:
  // Makes `inRateHz` the rate of the loaded record: its length, its chart and the time field; the envelope goes.
  void retime(double inRateHz);
  void buildControls();
  void readPpg();
  void saveDialog();
  // Parses the edits into envelope parameters; shows the conversion error and returns nothing on bad text.
  std::optional<PpgEnvelopeParams> readParams();
  // The envelope samples to save or hand on (PpgEnvelopeSamples with the Edit13 and Edit12 texts); shows the
  // error and gives nothing for a bad edit or no samples.
  std::optional<std::vector<double>> envelopeSamples();
  void showBusy(bool busy);
  void showEnvelope(PpgEnvelopeResult result, double inRateHz);
  // Shows a read photoplethysmogram; `title` is shown in Edit3.
  void showPpg(PpgSignal signal, const QString& name, const QString& title, bool bigFile);

  AppContext* m_context;
  QPushButton* m_btnPpg = nullptr;       // BtnPPG
  QPushButton* m_btnEnvelope = nullptr;  // BtnPPGintoBF
  QPushButton* m_btnSave = nullptr;      // BtnSavePPGBF
  QPushButton* m_btnHandOver = nullptr;  // BitBtn20
  QLineEdit* m_edit3 = nullptr;
  QLineEdit* m_edit11 = nullptr;
  QLineEdit* m_edit12 = nullptr;
  QLineEdit* m_edit13 = nullptr;
  QLineEdit* m_edit14 = nullptr;
  QLineEdit* m_edit15 = nullptr;
  QLineEdit* m_edit20 = nullptr;
  QLabel* m_label17 = nullptr;
  PlotView* m_chart7 = nullptr;
  PlotView* m_chart8 = nullptr;

  PpgSignal m_ppg;
  bool m_loaded = false;
  QString m_ppgName;
  PpgEnvelope m_envelope;
  PageRun* m_run = nullptr;
};

}  // namespace kelvora
