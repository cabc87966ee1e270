#pragma once
// The Import dialog: a record of the program from an instrument file, delimited text (CSV, TSV, semicolon or
// whitespace separated, with header lines and a time column), EDF, EDF+ and BDF, a LabChart text export or a
// MATLAB file (its variables listed with their sizes, a LabChart export's blocks), resampled by block means to
// a whole rate when asked. The reading is the library's (formats/delimited_reader.h, edf_reader.h, record_import.h); the
// dialog shows what it detected, lets the user change it, and makes the records. It changes nothing outside
// itself: the caller takes records() after an accepted exec() and loads them.
#include <QDialog>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "shell/app_context.h"
#include "formats/delimited_layout.h"
#include "formats/file_layout.h"
#include "formats/edf_reader.h"
#include "formats/marker.h"
#include "core/signal_record.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QLineEdit;
class QSpinBox;
class QTableWidget;

namespace kelvora {

// What a record read from a file becomes.
enum class ImportTarget { Temperature, BloodFlow, Ppg, Signal };

// The file filter of the open dialogs: the program's text files first (the default), then instrument files.
QString OpenFileFilter();

// One record the dialog made.
struct ImportedRecord {
  ImportTarget target = ImportTarget::Signal;
  SignalRecord record;  // normalized, minimum and maximum filled; a T record converted from kelvin when it was
  double rateHz = 0.0;  // the record's rate (whole, except a PPG read at the file's own rate)
  bool truncated = false;  // cut at the record limit
  QString source;          // "<file>: <column or label>"
  std::string unit;
  std::vector<Marker> markers;  // a LabChart export's comments in the block read (source kLabChart)
};

// "flux  1 × 72000": a MATLAB variable with its size, as the dialog lists it.
QString MatVariableText(const MatVariableInfo& variable);

class ImportDialog : public QDialog {
  Q_OBJECT

 public:
  struct Options {
    ImportTarget target = ImportTarget::Signal;
    int rateHz = 0;             // the rate proposed to resample to; 0 (the proposal) keeps the file's own rate
    bool rateEditable = true;   // the user may choose a rate to resample to
    bool pairAllowed = false;   // "Import pair" (T and BF from one file) is offered; it also frees the rate
    int maxSamples = kMaxRecordSamples;  // the samples a record keeps (not a PPG's: the PPG page's limit)
    int typedRateHz = 0;  // for a file without a time column: the rate proposed for its samples (0: none)
    Language language = Language::English;
  };

  // `layout` is what ReadFileLayout found in the file (delimited text, EDF, a LabChart text export or a MATLAB
  // file); the dialog starts from it.
  ImportDialog(const QString& path, const FileLayout& layout, const Options& options, QWidget* parent = nullptr);
  ~ImportDialog() override;

  bool isEdf() const { return m_edf; }
  // A LabChart text export or a MATLAB file, read through ReadRecordFile with the chosen variable, channel and
  // block.
  bool isBlockFile() const { return m_block; }
  bool pair() const;
  // Reads the whole file with the shown choices and makes the records: true and records() filled, or false with
  // the message shown (ImportMessage) and nothing kept. The Import button runs it and closes on success.
  bool importNow();
  // The records of the last successful importNow(): the target's (T of a pair), then BF of a pair.
  const std::vector<ImportedRecord>& records() const { return m_records; }
  // The rate chosen to resample to (0: the file's own).
  int targetRateHz() const;
  // The message line (errors of the choices or of the import).
  QString message() const;

 private:
  void buildTextPart();
  void buildEdfPart();
  void buildBlockPart();
  void showBlockInfo();
  // The file's signal a choice box names (block files), or null.
  const FileChannel* chosenSignal(const QComboBox* box) const;
  // Block files: the rate of a chosen signal (its own, else the typed one; 0 when neither).
  double blockRate(const FileChannel& signal) const;
  void buildRecordPart();
  void applyTexts();
  // Delimited text: detection with the controls' overrides, the columns, the rate preview.
  void detectLayout(bool fromControls);
  void showLayout();
  void updatePreview();
  DelimitedLayoutOverrides overrides() const;
  // EDF: the channel list and annotations.
  void showEdfInfo(const EdfFileInfo& info);
  // The pair's BF choice is never the T choice while the file has another signal.
  void keepPairChoicesApart();
  void fillChoices(const std::vector<std::string>& names, const std::vector<int>& numbers);
  // The column or channel a choice box names.
  ChannelRef choiceRef(const QComboBox* box) const;
  std::optional<double> typedRate() const;
  void showMessage(const QString& text);
  QString word(int w) const;

  QString m_path;
  Options m_options;
  bool m_edf = false;
  bool m_block = false;
  FileLayout m_fileLayout;  // block files: what ReadFileLayout found
  std::string m_head;  // the file's beginning (delimited text)
  DelimitedLayout m_layout;
  std::vector<std::string> m_preview;
  EdfFileInfo m_edfInfo;
  double m_previewRateHz = 0.0;  // the source rate the choices give, 0 when unknown
  std::vector<ImportedRecord> m_records;

  QPlainTextEdit* m_previewText = nullptr;
  QGroupBox* m_layoutBox = nullptr;
  QComboBox* m_separator = nullptr;
  QComboBox* m_decimal = nullptr;
  QSpinBox* m_headerLines = nullptr;
  QComboBox* m_timeColumn = nullptr;
  QTableWidget* m_columns = nullptr;
  QTableWidget* m_channels = nullptr;
  QTableWidget* m_annotations = nullptr;
  QListWidget* m_variables = nullptr;
  QTableWidget* m_blocks = nullptr;
  QLabel* m_blockLabel = nullptr;
  QComboBox* m_blockChoice = nullptr;
  QLabel* m_choiceLabel = nullptr;
  QComboBox* m_choice = nullptr;
  QCheckBox* m_pair = nullptr;
  QLabel* m_choiceBFLabel = nullptr;
  QComboBox* m_choiceBF = nullptr;
  QRadioButton* m_rateFromTime = nullptr;
  QRadioButton* m_rateTyped = nullptr;
  QLineEdit* m_rate = nullptr;
  QLabel* m_rateInfo = nullptr;
  QSpinBox* m_targetRate = nullptr;
  QLabel* m_resampleInfo = nullptr;
  QLabel* m_message = nullptr;
  QPushButton* m_import = nullptr;
  bool m_updating = false;
};

}  // namespace kelvora
