#pragma once
// The settings an analysis or coherence result was made with, kept beside the result so that its files,
// reports and labels describe the run and not what the controls hold later.
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/record_analysis.h"

namespace kelvora {

struct AnalysisProvenance {
  AnalysisOptions options;           // as the run used them (rate, f0, voices, f_min .. f_max, detrend, bands)
  bool pair = false;                 // a coherence run of T and BF
  int surrogatePairs = 0;            // pair runs only
  std::uint64_t seed = 0;            // pair runs only
  bool rankThresholdOfBloodFlowSurrogates = false;  // pair runs: the other transform form, BF surrogates, rank rule
  double lambda = 0.0;               // the tissue the depths were worked out with (pair runs only)
  double rho = 0.0;
  double heatCapacity = 0.0;
  std::vector<std::string> sources;  // the input names: the record, or T then BF
  std::string programVersion = KELVORA_VERSION;
};

}  // namespace kelvora
