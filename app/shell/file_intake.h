#pragma once
// How a file comes into the window, for every page and every way it arrives (an open dialog, a drop, the recent
// files, the Examples menu): what the file holds is read once (ReadFileLayout), the program's one-column signal
// files go to the page's own reading at the page's rate, and instrument files (delimited text, EDF, LabChart
// text exports, MATLAB files) become records at their own rate, through the Import dialog only where the user
// has a choice to make (several signals or blocks, or no rate in the file).
// Nothing on the page changes here: the page takes what TakeFile gives it and loads it, or shows why not.
#include <QString>
#include <optional>
#include <vector>

#include "dialogs/import_dialog.h"
#include "formats/file_layout.h"

class QWidget;

namespace kelvora {

class AppContext;

struct IntakeRequest {
  ImportTarget target = ImportTarget::Signal;
  int maxSamples = kMaxRecordSamples;
  bool pairAllowed = false;  // "Import pair" is offered (the Transform page)
  // The rate the page would give a file that states none (a file without a time column): proposed in the
  // dialog as the typed rate. 0: none.
  int typedRateHz = 0;
  // The rate the page needs its record at (the rate of a record already loaded beside it, or the rate a page
  // works at); 0: any. A file at another rate opens the dialog with resampling to it proposed, never imposed:
  // the page refuses a record at another rate, naming both.
  int requiredRateHz = 0;
};

struct IntakeResult {
  FileLayout layout;
  // Empty for a one-column signal file (layout.format == kSignalText), which the page reads itself; else the
  // records made, at their own rate (T then BF for a pair).
  std::vector<ImportedRecord> records;

  bool signalText() const { return layout.format == FileFormat::kSignalText; }
};

// Reads the layout of `path` and, for an instrument file, makes its records: without the dialog when the file
// has one signal and states its rate, else through the Import dialog (cancelled: nothing). A file that cannot
// be read, or whose import fails without a choice, shows its error and gives nothing. UI thread.
std::optional<IntakeResult> TakeFile(QWidget* parent, const AppContext& context, const QString& path,
                                     const IntakeRequest& request);

}  // namespace kelvora
