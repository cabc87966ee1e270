#pragma once
// Finding the occlusions of a flux record: where the flux stays below a share of its resting level.
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "formats/marker.h"

namespace kelvora {

struct OcclusionFinderOptions {
  double sampleRateHz = 2.0;      // fs > 0
  double thresholdShare = 0.30;   // of the reference level; 0 < share < 1
  double referenceSeconds = 60.0; // the reference level is the median flux over [0, referenceSeconds); > 0
  double minimumSeconds = 20.0;   // an occlusion lasts at least this long; > 0
  // Runs below the threshold separated by less than this (seconds above it) are one occlusion: the flux of a
  // real occlusion has single samples and brief artefacts above the threshold. >= 0; 0 joins nothing.
  double bridgeSeconds = 5.0;
};

enum class OcclusionFinderErrorKind {
  kBadOptions,       // a value outside its range
  kNoSamples,        // the record is empty
  kNonFiniteSample,  // `sample` is NaN or infinite
  kNoReference,      // the reference level is not above 0 (a record at rest at or below zero)
};

struct OcclusionFinderError {
  OcclusionFinderErrorKind kind = OcclusionFinderErrorKind::kBadOptions;
  long long sample = -1;
};

struct FoundOcclusion {
  double startS = 0.0;  // the time of the first sample below the threshold
  double endS = 0.0;    // the time after the last one: (last + 1) / fs
};

struct OcclusionFinderResult {
  std::vector<FoundOcclusion> occlusions;  // in time order
  double referenceLevel = 0.0;             // the median over the reference time
  double threshold = 0.0;                  // thresholdShare * referenceLevel
  std::optional<OcclusionFinderError> error;
  bool ok() const { return !error.has_value(); }
};

// The runs of consecutive samples x[n] < threshold, runs less than bridgeSeconds apart joined with the samples
// between them, that last at least minimumSeconds (run length / fs), where the threshold is thresholdShare
// times the median of x over [0, referenceSeconds) (the whole record when shorter; the median of an even count
// is the mean of the middle two). Cost: a sort of the reference samples and one
// pass. Pure; any thread.
OcclusionFinderResult FindOcclusions(std::span<const double> flux, const OcclusionFinderOptions& options);

// Two markers per found occlusion (source kFound): occlusionWord + " K" at its start and recoveryWord + " K" at
// its end (the caller's words). Pure.
std::vector<Marker> OcclusionMarkers(const std::vector<FoundOcclusion>& occlusions, const std::string& occlusionWord,
                                     const std::string& recoveryWord);

}  // namespace kelvora
