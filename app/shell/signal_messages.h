#pragma once
// The texts the window shows for what the library reports as values: refused parameter-grid edits. (File
// errors have one text for the window and the command-line tool: DescribeFileError.)
#include <QString>

#include "signals/parameter_grid.h"
#include "formats/signal_file.h"

namespace kelvora {

// The window's text of a file error: DescribeFileError.
QString FileErrorText(const SignalFileError& error);

// The message of a refused grid edit: "Введите \",\", а не \".\"" for a "." on a system whose separator is
// ",", otherwise the platform's conversion error naming the text ("'1.5' is not a valid integer value").
QString GridEditMessage(const GridEditResult& result);

}  // namespace kelvora
