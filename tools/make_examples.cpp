// Writes the synthetic example signals of the Examples menu:
//   T1.txt, BF1.txt  - skin temperature and blood flow at rest, 2 Hz, 25 min
//   T2.txt, BF2.txt  - the same during a cuff test (rest, 3 min arterial occlusion, reactive hyperaemia)
//   PPG1.txt, PPG2.txt - photoplethysmograms at 50 Hz (one header line, 72,350 and 58,050 samples)
//
// Usage: kelvora_make_examples [OUTPUT_DIR] [SEED]     (defaults: "Examples" and 20261208)
//
// The blood flow is built first (a resting level, oscillations in the endothelial, neurogenic and
// myogenic bands, slow random fluctuations); the temperature is its image through the plane thermal wave
// of the conversion methods: the component at frequency f is attenuated by exp(-x sqrt(pi rho c f / lambda))
// and delayed by x / (2 sqrt(pi (lambda / (rho c)) f)), with x = 2 mm, lambda = 0.33, rho = 1057,
// c = 3780. The wave is applied in the frequency domain on a grid padded by 25 min on both sides, so the
// circular wrap of the discrete transform stays far from the record. Both files then get their own
// measurement noise; the temperature also gets a slow drift of the room. Everything random comes from one
// seeded 64-bit Mersenne twister with its own normal deviates, so the files are the same on every platform
// that rounds the elementary functions alike.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Uniform and normal deviates on top of the standard engine (its output sequence is fixed by the
// standard; the library's distributions are not).
class Random {
 public:
  explicit Random(std::uint64_t seed) : m_engine(seed) {}
  double uniform() { return static_cast<double>(m_engine() >> 11) * 0x1.0p-53; }
  double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  double normal() {
    if (m_hasSpare) {
      m_hasSpare = false;
      return m_spare;
    }
    double u = 0.0;
    while (u <= 0.0) u = uniform();
    const double v = uniform();
    const double r = std::sqrt(-2.0 * std::log(u));
    m_spare = r * std::sin(2.0 * kPi * v);
    m_hasSpare = true;
    return r * std::cos(2.0 * kPi * v);
  }

 private:
  std::mt19937_64 m_engine;
  bool m_hasSpare = false;
  double m_spare = 0.0;
};

// Thermal-wave tissue parameters.
struct Tissue {
  double depthM = 0.002;
  double lambda = 0.33;
  double rho = 1057.0;
  double c = 3780.0;
  double gain(double f) const { return std::exp(-depthM * std::sqrt(kPi * rho * c * f / lambda)); }
  double delayS(double f) const { return depthM / (2.0 * std::sqrt(kPi * (lambda / (rho * c)) * f)); }
};

// The thermal-wave image of x (sampled at fs Hz): every Fourier component attenuated and delayed.
std::vector<double> ThermalImage(const std::vector<double>& x, double fs, const Tissue& tissue) {
  const std::size_t n = x.size();
  std::vector<std::complex<double>> twiddle(n);
  for (std::size_t k = 0; k < n; ++k) twiddle[k] = std::polar(1.0, -2.0 * kPi * static_cast<double>(k) / n);
  std::vector<double> y(n, 0.0);
  double mean = 0.0;
  for (double v : x) mean += v;
  mean /= static_cast<double>(n);
  for (std::size_t i = 0; i < n; ++i) y[i] = mean;
  for (std::size_t k = 1; k <= n / 2; ++k) {
    std::complex<double> sum = 0.0;
    std::size_t index = 0;
    for (std::size_t m = 0; m < n; ++m) {
      sum += x[m] * twiddle[index];
      index += k;
      if (index >= n) index -= n;
    }
    const double f = static_cast<double>(k) * fs / static_cast<double>(n);
    const double weight = (2 * k == n) ? 1.0 : 2.0;
    const std::complex<double> c = sum * (weight / static_cast<double>(n)) * tissue.gain(f);
    const double shift = 2.0 * kPi * f * tissue.delayS(f);
    for (std::size_t i = 0; i < n; ++i) {
      const double t = static_cast<double>(i) / fs;
      y[i] += std::real(c * std::polar(1.0, 2.0 * kPi * f * t - shift));
    }
  }
  return y;
}

// A band of vasomotion: a few sinusoids at random frequencies in [lo, hi] with slowly varying amplitude.
struct Oscillator {
  double frequency, phase, amplitude, modFrequency, modPhase;
};

std::vector<Oscillator> Band(Random& rng, double lo, double hi, double amplitude, int count) {
  std::vector<Oscillator> band;
  for (int i = 0; i < count; ++i) {
    band.push_back({rng.uniform(lo, hi), rng.uniform(0.0, 2.0 * kPi), amplitude / count * rng.uniform(0.7, 1.3),
                    rng.uniform(1.0 / 900.0, 1.0 / 300.0), rng.uniform(0.0, 2.0 * kPi)});
  }
  return band;
}

double Evaluate(const std::vector<Oscillator>& band, double t) {
  double sum = 0.0;
  for (const Oscillator& o : band) {
    const double envelope = 1.0 + 0.35 * std::sin(2.0 * kPi * o.modFrequency * t + o.modPhase);
    sum += o.amplitude * envelope * std::sin(2.0 * kPi * o.frequency * t + o.phase);
  }
  return sum;
}

bool WriteValues(const std::string& path, const std::vector<double>& values, const char* header) {
  std::ofstream out(path, std::ios::binary);
  if (!out) return false;
  if (header) out << header << '\n';
  char text[64];
  for (double v : values) {
    std::snprintf(text, sizeof text, "%.3f", v);
    out << text << '\n';
  }
  return static_cast<bool>(out);
}

// One T/BF pair. `occlusion(t)` is the fraction of the resting perfusion left (1 at rest) and
// `hyperaemia(t)` the extra flow above rest, both in multiples of the resting level.
struct PairRecipe {
  double restingFlow;     // BF units
  double flowTrend;       // change of the resting flow over the record (BF units)
  double baseTempC;       // mean skin temperature
  double degreesPerUnit;  // temperature change per BF unit (perfusion heating of the skin)
  double roomDriftC;      // slow drift of the temperature not caused by the flow, over the record
  std::function<double(double)> occlusion;
  std::function<double(double)> hyperaemia;
};

void MakePair(Random& rng, const PairRecipe& recipe, std::vector<double>& t, std::vector<double>& bf) {
  constexpr double kRate = 2.0;
  constexpr int kSamples = 3000;  // 25 min
  constexpr int kPad = 3000;      // 25 min each side
  const double recordS = kSamples / kRate;
  const auto endothelial = Band(rng, 0.006, 0.019, 1.6, 3);
  const auto neurogenic = Band(rng, 0.021, 0.048, 1.2, 3);
  const auto myogenic = Band(rng, 0.055, 0.14, 0.9, 4);
  const double respiration = rng.uniform(0.22, 0.30);

  // The true flow on the padded grid (time 0 is the first recorded sample).
  const int total = kSamples + 2 * kPad;
  std::vector<double> flow(total);
  double slow = 0.0;  // red-noise fluctuation, time constant 40 s
  const double keep = std::exp(-1.0 / kRate / 40.0);
  for (int i = 0; i < total; ++i) {
    const double time = (i - kPad) / kRate;
    slow = keep * slow + std::sqrt(1.0 - keep * keep) * 0.5 * rng.normal();
    const double progress = std::clamp(time / recordS, 0.0, 1.0);
    const double trend = recipe.flowTrend * (0.5 - 0.5 * std::cos(kPi * progress));
    const double open = recipe.occlusion(time);
    const double vasomotion = Evaluate(endothelial, time) + Evaluate(neurogenic, time) + Evaluate(myogenic, time) +
                              0.25 * std::sin(2.0 * kPi * respiration * time) + slow;
    const double rest = recipe.restingFlow + trend;
    flow[i] = open * (rest + vasomotion) + recipe.hyperaemia(time) * rest + (1.0 - open) * 0.04 * rest;
  }
  const std::vector<double> image = ThermalImage(flow, kRate, Tissue{});

  double meanFlow = 0.0;
  for (int i = kPad; i < kPad + kSamples; ++i) meanFlow += flow[i];
  meanFlow /= kSamples;
  t.assign(kSamples, 0.0);
  bf.assign(kSamples, 0.0);
  for (int i = 0; i < kSamples; ++i) {
    const double time = i / kRate;
    const double room = recipe.roomDriftC * (time / recordS - 0.5);
    t[i] = recipe.baseTempC + recipe.degreesPerUnit * (image[kPad + i] - meanFlow) + room + 0.003 * rng.normal();
    const double measured = flow[kPad + i] + 0.35 * rng.normal() + 0.25 * std::sin(2.0 * kPi * 0.93 * time);
    bf[i] = std::max(measured, 0.05 * recipe.restingFlow);
  }
}

// A photoplethysmogram at 50 Hz: pulses with a systolic peak and a dicrotic wave, heart rate between
// 60 and 100 beats per minute with respiratory and Mayer-wave variability, baseline wander and noise. The
// pulse amplitude follows `flow(t)` (relative, about 1 at rest).
std::vector<double> MakePpg(Random& rng, int samples, double meanBpm, const std::function<double(double)>& flow) {
  constexpr double kRate = 50.0;
  std::vector<double> ppg(samples);
  const double rsaPhase = rng.uniform(0.0, 2.0 * kPi), mayerPhase = rng.uniform(0.0, 2.0 * kPi);
  const double respiration = rng.uniform(0.22, 0.30);
  double phase = rng.uniform();
  double wander = 0.0, drift = 0.0;
  double beatAmplitude = 1.0;
  double beatWidth = 1.0;
  const double keepDrift = std::exp(-1.0 / kRate / 60.0);
  for (int i = 0; i < samples; ++i) {
    const double time = i / kRate;
    drift = keepDrift * drift + std::sqrt(1.0 - keepDrift * keepDrift) * 3.0 * rng.normal();
    double bpm = meanBpm + 4.0 * std::sin(2.0 * kPi * respiration * time + rsaPhase) +
                 3.0 * std::sin(2.0 * kPi * 0.1 * time + mayerPhase) + drift;
    bpm = std::clamp(bpm, 60.0, 100.0);
    const double previous = phase;
    phase += bpm / 60.0 / kRate;
    if (std::floor(phase) != std::floor(previous)) {  // a new beat: its own small amplitude and shape jitter
      beatAmplitude = 1.0 + 0.04 * rng.normal();
      beatWidth = 1.0 + 0.05 * rng.normal();
    }
    const double u = phase - std::floor(phase);
    const double systolic = std::exp(-std::pow((u - 0.17) / (0.055 * beatWidth), 2) / 2.0);
    const double dicrotic = 0.38 * std::exp(-std::pow((u - 0.42) / (0.075 * beatWidth), 2) / 2.0);
    const double diastolicDecay = 0.12 * std::exp(-u / 0.5);
    const double pulse = systolic + dicrotic + diastolicDecay;
    wander = 0.995 * wander + 0.004 * rng.normal();
    const double baseline = 2.0 + 0.08 * std::sin(2.0 * kPi * respiration * time) + 0.5 * wander;
    ppg[i] = baseline + flow(time) * beatAmplitude * pulse + 0.01 * rng.normal();
  }
  return ppg;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "Examples";
  const std::uint64_t seed = argc > 2 ? std::stoull(argv[2]) : 20261208ULL;
  Random rng(seed);

  // Example 1: rest; the flow rises slowly while the skin warms.
  PairRecipe rest{12.0, 2.5, 31.8, 0.30, 0.15, [](double) { return 1.0; }, [](double) { return 0.0; }};
  // Example 2: 8 min rest, occlusion from 8 to 11 min, then reactive hyperaemia (peak about 3.5 times rest
  // some 15 s after release, decaying over about a minute).
  constexpr double kOccludeS = 480.0, kReleaseS = 660.0;
  PairRecipe cuff{11.0,
                0.0,
                32.6,
                0.12,
                -0.10,
                [=](double time) {
                  if (time < kOccludeS || time >= kReleaseS) return 1.0;
                  const double in = std::min(1.0, (time - kOccludeS) / 8.0);
                  return 1.0 - 0.98 * in;
                },
                [=](double time) {
                  if (time < kReleaseS) return 0.0;
                  const double s = time - kReleaseS;
                  return 2.6 * (1.0 - std::exp(-s / 5.0)) * std::exp(-s / 55.0);
                }};

  std::vector<double> t1, bf1, t2, bf2;
  MakePair(rng, rest, t1, bf1);
  MakePair(rng, cuff, t2, bf2);

  // PPG 1: rest with slow vasomotion of the pulse amplitude.
  const auto restFlow = [](double time) {
    return 1.0 + 0.25 * std::sin(2.0 * kPi * time / 260.0) + 0.15 * std::sin(2.0 * kPi * time / 71.0 + 1.0) +
           0.08 * std::sin(2.0 * kPi * time / 29.0 + 2.0);
  };
  // PPG 2: a cuff test: the pulse nearly vanishes for 3 min, then overshoots on release.
  const auto cuffFlow = [](double time) {
    constexpr double occlude = 360.0, release = 540.0;
    double f = 1.0 + 0.12 * std::sin(2.0 * kPi * time / 95.0);
    if (time >= occlude && time < release) f *= 1.0 - 0.93 * std::min(1.0, (time - occlude) / 10.0);
    if (time >= release) f += 1.4 * (1.0 - std::exp(-(time - release) / 6.0)) * std::exp(-(time - release) / 70.0);
    return f;
  };
  const std::vector<double> ppg1 = MakePpg(rng, 72350, 72.0, restFlow);
  const std::vector<double> ppg2 = MakePpg(rng, 58050, 80.0, cuffFlow);

  bool ok = WriteValues(dir + "/T1.txt", t1, nullptr) && WriteValues(dir + "/BF1.txt", bf1, nullptr) &&
            WriteValues(dir + "/T2.txt", t2, nullptr) && WriteValues(dir + "/BF2.txt", bf2, nullptr) &&
            WriteValues(dir + "/PPG1.txt", ppg1, "PPG") && WriteValues(dir + "/PPG2.txt", ppg2, "PPG");
  if (!ok) {
    std::fprintf(stderr, "kelvora_make_examples: cannot write into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
