#pragma once
// The frequency bands a band table reports: the two preset sets and the user's own list.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/frequency_band.h"

namespace kelvora {

// A band [low, high) with its name. A preset band's name is a fixed key ("endothelial", ...) that the window
// and the CLI translate or print; a user band's name is the user's text.
struct AnalysisBand {
  std::string name;
  FrequencyBand range;  // Hz, 0 < low < high
  bool preset = false;
};

// `default`: endothelial 0.005-0.02, neurogenic 0.02-0.05, myogenic 0.05-0.15 (the band presets), respiratory
// 0.15-0.6, cardiac 0.6-1.6 Hz.
std::vector<AnalysisBand> DefaultBands();
// `six`, the six intervals of the LDF literature: endothelial_1 0.005-0.0095 (NO-independent),
// endothelial_2 0.0095-0.021 (NO-dependent), neurogenic 0.021-0.052, myogenic 0.052-0.145,
// respiratory 0.145-0.6, cardiac 0.6-1.6 Hz.
std::vector<AnalysisBand> SixBands();

enum class BandSetErrorKind {
  kEmpty,          // no band at all
  kMissingField,   // an item is not NAME:LO:HI
  kEmptyName,      // NAME is empty
  kBadNumber,      // LO or HI is not a number ("." decimals)
  kBadRange,       // not 0 < LO < HI
  kDuplicateName,  // a NAME given twice
};

struct BandSetError {
  BandSetErrorKind kind = BandSetErrorKind::kEmpty;
  int item = 0;      // 1-based position of the faulty item in the list; 0 for kEmpty
  std::string text;  // the faulty item as given (for kBadNumber the number's text)
};

struct BandSetParse {
  std::vector<AnalysisBand> bands;    // filled only when ok()
  std::optional<BandSetError> error;  // set when the text is refused

  bool ok() const { return !error.has_value(); }
};

// "default", "six", or a comma-separated list of NAME:LO:HI items (Hz, "." decimals, blanks around each part
// ignored), in the order given; bands may overlap. Pure; any thread.
BandSetParse ParseBandSet(std::string_view text);

}  // namespace kelvora
