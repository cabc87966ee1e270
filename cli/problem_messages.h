#pragma once
// The command line's words for what the library reports as kinds with fields: the problems of conversions,
// models, the wavelet library and the Transform session (core/problem.h), and the errors of signal text files.
#include <string>
#include <vector>

#include "core/problem.h"
#include "formats/signal_file.h"
#include "signals/ppg_envelope.h"

namespace kelvora::cli {

// The English sentence of a problem ("The signal frequency must be at least 1 Hz").
std::string ProblemText(const Problem& problem);
// The sentences of a run's notices, one a line.
std::string NoticesText(const std::vector<Problem>& notices);
// "PATH: message", with ":LINE" after the path when the fault is on one line, the offending value quoted before
// the message ("PATH:3: 'abc' is not a valid number"), and the system's reason in parentheses. Control bytes of
// the path and control and non-ASCII bytes of the value are shown as \xNN.
std::string SignalFileErrorText(const SignalFileError& error);

// The sentence of a PPG read: its error, "Big file", or the note on a constant PPG; empty when there is none.
std::string PpgReadText(const PpgReadResult& read);
// The sentence of a refused PPG envelope run.
std::string PpgEnvelopeText(const PpgEnvelopeResult& result);

}  // namespace kelvora::cli
