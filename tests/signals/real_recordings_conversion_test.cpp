// Every conversion method on the real T/BF recordings, run as a user would through the session: T -> BF*
// against the measured BF and BF -> T* against the measured T, at the default bands and the three presets.
// Prints the correlation table; skips when the shared data folder is absent.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/said.h"
#include "core/frequency_band.h"
#include "core/text_helpers.h"
#include "signals/transform_session.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;

struct Band {
  const char* name;
  FrequencyBand t;   // band of the T selector
  FrequencyBand bf;  // band of the BF selector
  bool preset;
};

const Band kBands[] = {
    {"default", {0.0, 0.1}, {0.0, 2.0}, false},
    {"endothelial", kEndothelialBand, kEndothelialBand, true},
    {"neurogenic", kNeurogenicBand, kNeurogenicBand, true},
    {"myogenic", kMyogenicBand, kMyogenicBand, true},
};

std::string BandText(double value) { return FormatRealText(value, '.'); }

// One conversion: the input side's band is `band`; with `filterOther` the measured side is filtered to the same
// band, as when the user moves both selectors. Gives the correlation, or NaN when a step failed.
double Correlate(const std::string& tPath, const std::string& bfPath, ConversionMethod method, ConversionModel model,
                 bool toBloodFlow, const Band& band, bool filterOther, std::string& failure) {
  TransformSession session;
  session.setMethod(method);
  session.setModel(model);
  const bool setT = toBloodFlow || filterOther;
  const bool setBF = !toBloodFlow || filterOther;
  if (setT && band.preset) {
    session.setBand(Side::Temperature, band.t.low, band.t.high);
    session.setBandTexts(Side::Temperature, BandText(band.t.low), BandText(band.t.high));
  }
  if (setBF && band.preset) {
    session.setBand(Side::BloodFlow, band.bf.low, band.bf.high);
    session.setBandTexts(Side::BloodFlow, BandText(band.bf.low), BandText(band.bf.high));
  }
  SessionResult r = session.LoadT(tPath, NullProgress());
  if (r.ok()) r = session.LoadBF(bfPath, NullProgress());
  if (r.ok()) r = toBloodFlow ? session.BtnTtoBF(NullProgress()) : session.BtnBFtoT(NullProgress());
  if (r.ok()) {
    const std::vector<double>& converted =
        toBloodFlow ? session.converted(Side::Temperature) : session.converted(Side::BloodFlow);
    for (double v : converted)
      if (!std::isfinite(v)) r.error = Problem{ProblemKind::kResultNotANumber};
  }
  if (r.ok()) r = toBloodFlow ? session.Correl1() : session.Correl2();
  if (!r.ok()) {
    failure = Said(r.error);
    return std::nan("");
  }
  return *(toBloodFlow ? session.correlation(Side::Temperature) : session.correlation(Side::BloodFlow));
}

TEST(RealRecordings, ConversionCorrelationTable) {
  const fs::path data = KELVORA_SHARED_DATA_DIR;
  if (!fs::exists(data / "SOURCES.md")) GTEST_SKIP() << "no shared data folder";
  std::vector<std::string> ids;
  for (const auto& entry : fs::directory_iterator(data)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("ldf_", 0) == 0 && fs::exists(data / ("skintemp_" + name.substr(4)))) ids.push_back(name.substr(4));
  }
  std::sort(ids.begin(), ids.end());
  ASSERT_EQ(ids.size(), 8u);

  struct Row {
    const char* label;
    ConversionMethod method;
    ConversionModel model;
  };
  const Row rows[] = {
      {"Fourier thermal", ConversionMethod::Fourier, ConversionModel::ThermalWave},
      {"Fourier derivative", ConversionMethod::Fourier, ConversionModel::Derivative},
      {"Shitzer", ConversionMethod::Shitzer, ConversionModel::ThermalWave},
  };
  std::printf("%-16s %-18s %-5s", "pair", "method", "dir");
  for (const Band& band : kBands) std::printf(" %15s", band.name);
  std::printf("\n");
  for (const std::string& id : ids) {
    const std::string t = (data / ("skintemp_" + id)).string();
    const std::string bf = (data / ("ldf_" + id)).string();
    for (const Row& row : rows) {
      for (bool toBloodFlow : {true, false}) {
        std::printf("%-16s %-18s %-5s", id.substr(0, id.size() - 4).c_str(), row.label, toBloodFlow ? "T>BF" : "BF>T");
        for (const Band& band : kBands) {
          // Shitzer's model does not use the bands.
          if (row.method == ConversionMethod::Shitzer && band.preset) {
            std::printf(" %15s", "-");
            continue;
          }
          std::string failure;
          const double measured = Correlate(t, bf, row.method, row.model, toBloodFlow, band, false, failure);
          const double filtered =
              band.preset ? Correlate(t, bf, row.method, row.model, toBloodFlow, band, true, failure) : measured;
          EXPECT_TRUE(std::isfinite(measured) && std::isfinite(filtered)) << id << " " << row.label << ": " << failure;
          EXPECT_LE(std::fabs(measured), 1.0);
          std::printf(" %7.3f/%-7.3f", measured, filtered);
        }
        std::printf("\n");
      }
    }
  }
  std::printf("(each cell: correlation with the measured record / with the measured record filtered to the same band)\n");
}

}  // namespace
}  // namespace kelvora
