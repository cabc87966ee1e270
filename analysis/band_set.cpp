#include "analysis/band_set.h"

#include <set>

#include "core/text_helpers.h"

namespace kelvora {

namespace {

std::string Trimmed(std::string_view text) {
  const auto begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  const auto end = text.find_last_not_of(" \t");
  return std::string(text.substr(begin, end - begin + 1));
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

BandSetParse Refuse(BandSetErrorKind kind, int item, std::string text) {
  BandSetParse parse;
  parse.error = BandSetError{kind, item, std::move(text)};
  return parse;
}

}  // namespace

std::vector<AnalysisBand> DefaultBands() {
  return {{"endothelial", kEndothelialBand, true},
          {"neurogenic", kNeurogenicBand, true},
          {"myogenic", kMyogenicBand, true},
          {"respiratory", {0.15, 0.6}, true},
          {"cardiac", {0.6, 1.6}, true}};
}

std::vector<AnalysisBand> SixBands() {
  return {{"endothelial_1", {0.005, 0.0095}, true}, {"endothelial_2", {0.0095, 0.021}, true},
          {"neurogenic", {0.021, 0.052}, true},     {"myogenic", {0.052, 0.145}, true},
          {"respiratory", {0.145, 0.6}, true},      {"cardiac", {0.6, 1.6}, true}};
}

BandSetParse ParseBandSet(std::string_view text) {
  const std::string whole = Trimmed(text);
  BandSetParse parse;
  if (whole == "default") {
    parse.bands = DefaultBands();
    return parse;
  }
  if (whole == "six") {
    parse.bands = SixBands();
    return parse;
  }
  if (whole.empty()) return Refuse(BandSetErrorKind::kEmpty, 0, {});
  std::set<std::string> names;
  int item = 0;
  for (const std::string_view entry : Split(whole, ',')) {
    ++item;
    const std::vector<std::string_view> fields = Split(entry, ':');
    if (fields.size() != 3) return Refuse(BandSetErrorKind::kMissingField, item, Trimmed(entry));
    const std::string name = Trimmed(fields[0]);
    if (name.empty()) return Refuse(BandSetErrorKind::kEmptyName, item, Trimmed(entry));
    const std::string lowText = Trimmed(fields[1]);
    const std::string highText = Trimmed(fields[2]);
    const std::optional<double> low = ParseDecimalNumber(lowText, '.');
    if (!low) return Refuse(BandSetErrorKind::kBadNumber, item, lowText);
    const std::optional<double> high = ParseDecimalNumber(highText, '.');
    if (!high) return Refuse(BandSetErrorKind::kBadNumber, item, highText);
    if (!(*low > 0.0) || !(*high > *low)) return Refuse(BandSetErrorKind::kBadRange, item, Trimmed(entry));
    if (!names.insert(name).second) return Refuse(BandSetErrorKind::kDuplicateName, item, name);
    parse.bands.push_back(AnalysisBand{name, FrequencyBand{*low, *high}, false});
  }
  return parse;
}

}  // namespace kelvora
