#pragma once
// The outcome of a conversion or model run: the computed samples, or the problem saying why nothing was computed.
#include <optional>
#include <utility>
#include <vector>

#include "core/problem.h"

namespace kelvora {

struct ConversionResult {
  std::vector<double> values;    // samples 0 .. n of the converted record; empty on error
  std::optional<Problem> error;  // set on error: its kind and fields, for the caller's text

  bool ok() const { return !error.has_value(); }

  static ConversionResult Success(std::vector<double> samples) { return {std::move(samples), std::nullopt}; }
  static ConversionResult Failure(Problem problem) { return {{}, std::move(problem)}; }
  static ConversionResult Failure(ProblemKind kind) { return {{}, Problem{kind}}; }
};

}  // namespace kelvora
