#pragma once
// The texts the window shows for what the library reports: file errors and refused parameter-grid edits.
#include <QString>

#include "signals/parameter_grid.h"
#include "signals/signal_file.h"

namespace kelvora {

// The fixed English message of `error`, followed by what it concerns: the path, or the value text and its line
// for a number that cannot be read ("'abc' is not a valid number (line 12)").
QString SignalErrorText(const SignalFileError& error);

// The message of a refused grid edit: "Введите \",\", а не \".\"" for a "." on a system whose separator is ",",
// otherwise the platform's conversion error naming the text ("'1.5' is not a valid integer value").
QString GridEditMessage(const GridEditResult& result);

}  // namespace kelvora
