#pragma once
// The texts the window shows for the library's file errors.
#include <QString>

#include "signals/signal_file.h"

namespace kelvora {

// The fixed English message of `error`, followed by what it concerns: the path, or the value text and its line
// for a number that cannot be read ("'abc' is not a valid number (line 12)").
QString SignalErrorText(const SignalFileError& error);

}  // namespace kelvora
