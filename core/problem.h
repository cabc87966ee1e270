#pragma once
// Why a computation of the library did nothing, or what it has to say after it completed: a kind and the
// fields its text needs. The words are the callers' (the window in both languages, the command-line tool).
#include <string>
#include <utility>

namespace kelvora {

enum class ProblemKind {
  // conversions and models (core, signals)
  kStopped,                        // the progress sink asked the computation to stop
  kRecordEmpty,                    // the record to convert is empty
  kRateBelowOne,                   // the signal frequency is below 1 Hz
  kThermalParametersNotPositive,   // Lambda, Rho or C is not positive
  kInputNotANumber,                // the record to convert holds a value that is not a number
  kGainTooLarge,                   // the Fourier conversion overflowed: the gain is too large
  kResultNotANumber,               // the conversion gave a value that is not a number
  kShitzerTooFewSamples,           // Shitzer's model needs at least 4 temperature samples
  kDerivativeMismatch,             // the temperature derivative does not match the temperature record
  kShitzerBloodProductZero,        // blood density or heat capacity of 0
  kShitzerArterialTemperature,     // a temperature of exactly 37 °C; `count` is its sample (1-based)
  kShitzerNotANumber,              // Shitzer's model gave a value that is not a number
  kBloodFlowEmpty,                 // the blood-flow record is empty
  kStartTemperatureNotANumber,     // the start temperature T0 is not a number
  kShitzerConstantBloodFlow,       // a constant blood-flow record
  kShitzerSkinProductZero,         // skin density or heat capacity of 0
  kWaveletNotRun,                  // the wavelet run did not take place
  // the wavelet library
  kSignalEmpty,                    // the signal is empty
  kSignalNotFinite,                // the signal holds a value that is not a finite number
  kNoSignal,                       // no signal loaded
  kBandNotFinite,                  // the band frequencies are not finite or negative
  kTissueNotPositive,              // the tissue parameters are not positive
  kForwardOnlyNoConversion,        // a forward-only run has no conversion
  kFilteredNotFinite,              // the filtered signal holds a value that is not a finite number
  kCannotWriteFile,                // `path` cannot be written; `reason` is the system's explanation
  kWaveletTooLong,                 // `count` points; the wavelet transform holds at most `limit`
  kConversionParametersNotFinite,  // the conversion parameters are not finite numbers
  kDepthNotFinite,                 // the depth is not a finite number
  kWaveletResultNotFinite,         // the wavelet conversion gave a value that is not a finite number
  // the Transform session (`bloodFlow` names the side)
  kSideNotLoaded,                  // no record of the side is loaded
  kSideEmpty,                      // the side's record is empty
  kNothingToSave,                  // no converted record of the side (BF* / T*) to save
  kOutputNeeds,                    // Output needs the measured record and the computed one
  kWaveletUnavailable,             // wavelet conversion is not available
  kRecordNoSamples,                // an adopted record has no samples
  kRecordTooBig,                   // more than `limit` points
  kRecordNotANumber,               // an adopted record holds a value that is not a number
  kRecordNotNormalized,            // an adopted record has no normalized values
  kSessionBusy,                    // another computation of the Transform page is still running
  kDidNotRun,                      // the computation did not run
  kNoBloodFlowSamples,             // there are no blood-flow samples to take over
  kBloodFlowSamplesNotANumber,     // the blood-flow samples hold a value that is not a number
  kNotWaveletFiltered,             // notice: the record was not wavelet-filtered, the method holds at most `limit`
  kWaveletFilterBad,               // the wavelet filter gave a record of the wrong length or not a number
  kBandFilterBusy,                 // the band filter is already running
  kCannotFilter,                   // the record is empty or holds a value that is not a number
  kWrongLength,                    // the conversion gave a record of the wrong length
  kNotAValue,                      // `text` is not a valid floating point value
  kCorrelationNeeds,               // the correlation needs the measured and the computed record
  kCorrelationUndefined,           // a record is constant or shorter than two samples
  kMissingFile,                    // `path` does not exist
  kBigFile,                        // notice: the file was cut at `limit` points (`tabLayout`: a TAB-separated file)
};

inline constexpr int kProblemKindCount = static_cast<int>(ProblemKind::kBigFile) + 1;

struct Problem {
  Problem(ProblemKind problemKind = ProblemKind::kStopped) : kind(problemKind) {}  // NOLINT: a kind is a problem

  ProblemKind kind;
  long long count = 0;     // a number the text names (points, a sample)
  long long limit = 0;     // the limit the text names
  std::string path;        // a file the text names
  std::string reason;      // the system's explanation of a failed write
  std::string text;        // a typed text that is not a number
  bool bloodFlow = false;  // the blood-flow side of the Transform page (else the temperature side)
  bool tabLayout = false;  // kBigFile: the file was TAB-separated
};

// A problem that names a number (and a limit), or a file (and the system's reason).
inline Problem CountProblem(ProblemKind kind, long long count, long long limit = 0) {
  Problem problem(kind);
  problem.count = count;
  problem.limit = limit;
  return problem;
}
inline Problem PathProblem(ProblemKind kind, std::string path, std::string reason = {}) {
  Problem problem(kind);
  problem.path = std::move(path);
  problem.reason = std::move(reason);
  return problem;
}

}  // namespace kelvora
