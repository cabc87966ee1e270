#pragma once
// The command line's sentences of the library's problems and file errors, for tests that check what a user reads.
#include <optional>
#include <string>

#include "cli/problem_messages.h"
#include "signals/transform_session.h"

namespace kelvora {

inline std::string Said(const std::optional<Problem>& problem) {
  return problem ? cli::ProblemText(*problem) : std::string();
}
inline std::string Said(const std::optional<SignalFileError>& error) {
  return error ? cli::SignalFileErrorText(*error) : std::string();
}
inline std::string Said(const SessionResult& result) {
  return result.fileError ? Said(result.fileError) : Said(result.error);
}
inline std::string Noticed(const SessionResult& result) { return cli::NoticesText(result.notices); }

}  // namespace kelvora
