#include "shell/file_intake.h"

#include <QWidget>

#include "shell/app_context.h"
#include "formats/block_resample.h"
#include "shell/language_tables.h"

namespace kelvora {

std::optional<IntakeResult> TakeFile(QWidget* parent, const AppContext& context, const QString& path,
                                     const IntakeRequest& request) {
  FileLayoutResult read = ReadFileLayout(path.toStdString());
  if (!read.ok()) {
    context.showError(RecordFileErrorText(*read.error, context.language()));
    return std::nullopt;
  }
  IntakeResult result;
  result.layout = std::move(read.layout);
  if (result.signalText()) return result;

  ImportDialog::Options options;
  options.target = request.target;
  // The file's own rate, unless the page needs another that block means can reach; either way the user chooses.
  const double fileRate = result.layout.fileRateHz;
  const int required = request.requiredRateHz;
  const bool atRequired = required <= 0 || (fileRate > 0.0 && WholeRatio(fileRate, required).value_or(0) == 1);
  options.rateHz = !atRequired && fileRate > 0.0 && WholeRatio(fileRate, required) ? required : 0;
  options.rateEditable = true;
  options.pairAllowed = request.pairAllowed;
  options.maxSamples = request.maxSamples;
  options.typedRateHz = request.typedRateHz;
  options.language = context.language();
  ImportDialog dialog(path, result.layout, options, parent);
  const bool noChoice = result.layout.singleSignal() && fileRate > 0.0 && atRequired;
  if (noChoice && dialog.importNow()) {
    result.records = dialog.records();
    return result;
  }
  // A choice to make, or an import that failed: the dialog shows the file, the choices and the message.
  if (dialog.exec() != QDialog::Accepted || dialog.records().empty()) return std::nullopt;
  result.records = dialog.records();
  return result;
}

}  // namespace kelvora
