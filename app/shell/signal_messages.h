#pragma once
// The texts the window shows for what the library reports as values: refused parameter-grid edits, the
// problems of conversions, models, the wavelet library and the Transform session (core/problem.h), and the
// errors of signal text files, in English and Russian.
#include <QString>

#include <vector>

#include "core/problem.h"
#include "formats/signal_file.h"
#include "shell/app_context.h"
#include "signals/parameter_grid.h"
#include "signals/ppg_envelope.h"
#include "signals/transform_session.h"

namespace kelvora {

// The sentence of a problem ("The signal frequency must be at least 1 Hz").
QString ProblemText(const Problem& problem, Language language);
// The sentences of a run's notices, one a line; empty when there are none.
QString NoticesText(const std::vector<Problem>& notices, Language language);
// "PATH: message", with ":LINE" after the path when the fault is on one line, the offending value quoted before
// the message ("PATH:3: 'abc' is not a valid number"), and the system's reason in parentheses.
QString FileErrorText(const SignalFileError& error, Language language);
// The "Big file" notice of a truncated read, and of a record imported beyond 20,000 points (TAB layout's text).
QString BigFileText(const SignalReadResult& read, Language language);
QString ImportedBigFileText(Language language);
// The sentence of a refused session operation (its problem or its file error).
QString SessionErrorText(const SessionResult& result, Language language);

// The "Big file" notice of a PPG cut at its largest length.
QString PpgBigFileText(Language language);
// The sentence of a refused PPG envelope run.
QString PpgEnvelopeText(const PpgEnvelopeResult& result, Language language);

// The message of a refused grid edit: "Введите \",\", а не \".\"" for a "." on a system whose separator is
// ",", otherwise the platform's conversion error naming the text ("'1.5' is not a valid integer value").
QString GridEditMessage(const GridEditResult& result);

}  // namespace kelvora
