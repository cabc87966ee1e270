#include "cli/problem_messages.h"

#include "core/text_helpers.h"

namespace kelvora::cli {

std::string ProblemText(const Problem& p) {
  using K = ProblemKind;
  const auto n = [](long long value) { return std::to_string(value); };
  switch (p.kind) {
    case K::kStopped: return "The computation was stopped";
    case K::kRecordEmpty: return "The record to convert is empty";
    case K::kRateBelowOne: return "The signal frequency must be at least 1 Hz";
    case K::kThermalParametersNotPositive: return "The thermal-wave parameters must be positive (Lambda, Rho, C)";
    case K::kInputNotANumber: return "The record to convert holds a value that is not a number";
    case K::kGainTooLarge: return "The conversion gave a value that is not a number (the gain is too large)";
    case K::kResultNotANumber: return "The conversion gave a value that is not a number";
    case K::kShitzerTooFewSamples: return "Shitzer's model needs at least 4 temperature samples";
    case K::kDerivativeMismatch: return "The temperature derivative does not match the temperature record";
    case K::kShitzerBloodProductZero: return "Shitzer's model is undefined for a blood density or heat capacity of 0";
    case K::kShitzerArterialTemperature:
      return "Shitzer's model is undefined for a temperature of exactly 37 °C (sample " + n(p.count) + ")";
    case K::kShitzerNotANumber: return "Shitzer's model gave a value that is not a number";
    case K::kBloodFlowEmpty: return "The blood-flow record is empty";
    case K::kStartTemperatureNotANumber: return "The start temperature T0 is not a number";
    case K::kShitzerConstantBloodFlow: return "Shitzer's model is undefined for a constant blood-flow record";
    case K::kShitzerSkinProductZero: return "Shitzer's model is undefined for a skin density or heat capacity of 0";
    case K::kWaveletNotRun: return "The wavelet run did not take place";
    case K::kSignalEmpty: return "The signal is empty";
    case K::kSignalNotFinite: return "The signal holds a value that is not a finite number";
    case K::kNoSignal: return "No signal loaded";
    case K::kBandNotFinite: return "The band frequencies must be finite and not negative";
    case K::kTissueNotPositive: return "The tissue parameters must be positive";
    case K::kForwardOnlyNoConversion: return "A forward-only run has no conversion";
    case K::kFilteredNotFinite: return "The filtered signal holds a value that is not a finite number";
    case K::kCannotWriteFile: return "Cannot write the file " + p.path + " (" + p.reason + ")";
    case K::kWaveletTooLong:
      return "The signal has " + n(p.count) + " points; the wavelet transform holds at most " + n(p.limit) +
             " points";
    case K::kConversionParametersNotFinite: return "The conversion parameters must be finite numbers";
    case K::kDepthNotFinite: return "The depth must be a finite number";
    case K::kWaveletResultNotFinite: return "The conversion gave a value that is not a finite number";
    case K::kSideNotLoaded: return p.bloodFlow ? "No blood-flow record is loaded" : "No temperature record is loaded";
    case K::kSideEmpty: return p.bloodFlow ? "The blood-flow record is empty" : "The temperature record is empty";
    case K::kNothingToSave: return p.bloodFlow ? "There is no T* to save" : "There is no BF* to save";
    case K::kOutputNeeds:
      return p.bloodFlow ? "Output T needs the measured T and the computed T*"
                         : "Output BF needs the measured BF and the computed BF*";
    case K::kWaveletUnavailable: return "Wavelet conversion is not available yet";
    case K::kRecordNoSamples: return "The record has no samples";
    case K::kRecordTooBig: return "Big file - points > " + n(p.limit);
    case K::kRecordNotANumber: return "The record holds a value that is not a number";
    case K::kRecordNotNormalized: return "The record has no normalized values";
    case K::kSessionBusy: return "Another computation of the Transform page is still running";
    case K::kDidNotRun: return "The computation did not run";
    case K::kNoBloodFlowSamples: return "There are no blood-flow samples to take over";
    case K::kBloodFlowSamplesNotANumber: return "The blood-flow samples hold a value that is not a number";
    case K::kNotWaveletFiltered:
      return "The record is not wavelet-filtered: the wavelet method holds at most " + n(p.limit) + " samples";
    case K::kWaveletFilterBad: return "The wavelet filter gave a record of the wrong length or a value that is not a number";
    case K::kBandFilterBusy: return "The band filter is already running";
    case K::kCannotFilter: return "The record cannot be filtered: it is empty or holds a value that is not a number";
    case K::kWrongLength: return "The conversion gave a record of the wrong length";
    case K::kNotAValue: return "'" + p.text + "' is not a valid floating point value";
    case K::kCorrelationNeeds: return "The correlation needs the measured and the computed record";
    case K::kCorrelationUndefined: return "The correlation is undefined: a record is constant or shorter than two samples";
    case K::kMissingFile: return "File " + p.path + " does not exist";
    case K::kBigFile:
      // The single-number layout of the program's records has a trailing blank, the TAB layout none.
      return "Big file - points > " + n(p.limit) + (p.limit == kMaxRecordSamples && !p.tabLayout ? " " : "");
  }
  return {};
}

std::string NoticesText(const std::vector<Problem>& notices) {
  std::string text;
  for (const Problem& notice : notices) {
    const std::string line = ProblemText(notice);
    if (line.empty()) continue;
    if (!text.empty()) text += '\n';
    text += line;
  }
  return text;
}

std::string SignalFileErrorText(const SignalFileError& error) {
  std::string text = EscapeBytes(error.path, true);
  if (error.line > 0) {
    text += ':';
    text += std::to_string(error.line);
  }
  text += ": ";
  switch (error.kind) {
    case SignalFileErrorKind::kMissingFile: text += "File does not exist"; break;
    case SignalFileErrorKind::kCannotOpen: text += "Cannot open file"; break;
    case SignalFileErrorKind::kInvalidNumber:
      text += '\'';
      text += EscapeBytes(error.text);
      text += "' is not a valid number";
      break;
    case SignalFileErrorKind::kCannotWrite: text += "Cannot write file"; break;
    case SignalFileErrorKind::kInvalidValue: text += "Value is not a finite number"; break;
  }
  if (!error.reason.empty()) {
    text += " (";
    text += error.reason;
    text += ')';
  }
  return text;
}

std::string PpgReadText(const PpgReadResult& read) {
  switch (read.status) {
    case PpgReadStatus::kOk:
      if (!read.signal.empty() && !read.signal.scalable())
        return "All PPG samples are equal (maximum = minimum): the PPG cannot be scaled";
      return {};
    case PpgReadStatus::kBigFile: return "Big file";
    case PpgReadStatus::kMissingFile: return "File " + read.path + " does not exist";
    case PpgReadStatus::kCannotOpen: return "Cannot open file " + read.path;
    case PpgReadStatus::kBadNumber: {
      std::string text = "Line " + std::to_string(read.line) + ": '";
      text += EscapeBytes(read.text);
      text += "' is not a valid number";
      return text;
    }
  }
  return {};
}

std::string PpgEnvelopeText(const PpgEnvelopeResult& r) {
  using F = PpgEnvelopeFault;
  switch (r.fault) {
    case F::kNone: return {};
    case F::kNoSamples: return "The PPG holds no samples: no envelope computed";
    case F::kInputRate: return "The PPG input rate must be a positive number of Hz";
    case F::kOutputRate: return "The output rate must be a positive number of Hz";
    case F::kNegativeDuration: return "The duration must not be negative";
    case F::kPulseRates: return "The pulse rates must be positive";
    case F::kWindowTooLong: return "The lowest pulse rate gives a window longer than the largest PPG";
    case F::kTooManyOutputs:
      return "Duration x output rate gives more than " + std::to_string(r.needed) + " output samples";
    case F::kConstantSignal:
      return "All PPG samples are equal (maximum = minimum): the PPG cannot be scaled, no envelope computed";
    case F::kBeatTooShort:
      return "One beat at the lowest pulse rate is shorter than 3 PPG samples: raise the input rate or lower the "
             "pulse rate";
    case F::kTooShort:
      return "The PPG is too short for one scan window: it needs at least " + std::to_string(r.needed) +
             " samples, it holds " + std::to_string(r.held);
    case F::kNoOutput: return "Duration x output rate gives no output samples";
    case F::kStopped: return "Stopped: no envelope computed";
  }
  return {};
}

}  // namespace kelvora::cli
