#pragma once
// The outcome of a conversion or model run: the computed samples, or a message saying why nothing was computed.
#include <string>
#include <utility>
#include <vector>

namespace kelvora {

struct ConversionResult {
  std::vector<double> values;  // samples 0 .. n of the converted record; empty on error
  std::string error;           // empty on success; otherwise a fixed English message for the caller to show

  bool ok() const { return error.empty(); }

  static ConversionResult Success(std::vector<double> samples) { return {std::move(samples), {}}; }
  static ConversionResult Failure(std::string message) { return {{}, std::move(message)}; }
};

// The message every long computation returns when its progress sink asked it to stop.
inline constexpr const char* kConversionStoppedMessage = "The computation was stopped";

}  // namespace kelvora
