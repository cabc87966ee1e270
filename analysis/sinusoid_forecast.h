#pragma once
// Continuing a record beyond its end by the sinusoids it holds: the predictive padding of a wavelet transform.
//
// The tones are found one at a time, as described for the predictive padding of D. Iatsenko, P. V. E. McClintock
// and A. Stefanovska, "Linear and synchrosqueezed time-frequency representations revisited", Digital Signal
// Processing 42 (2015) 1-26, and in the forecasting function of their wavelet transform (wt.m of the MODA
// toolbox, Lancaster University): the weighted residual's largest DFT bin starts a search in frequency; a
// weighted least-squares fit of c + a cos(2 pi f t) + b sin(2 pi f t) is refined by stepping away from that bin
// with growing steps (forward and backward) and then by golden-section search down to 1/100 of the frequency
// step 1/T; the better direction's tone is subtracted and the search repeats, at most maxOrder times, until the
// Bayesian (Schwarz) criterion L ln(err) + (3 k + 1) ln L has risen twice in a row or the residual vanishes.
// The forecast continues the tones whose frequency lies strictly inside (fLow, fHigh); the others (the offset
// among them) are held at their value at the last sample.
#include <atomic>
#include <optional>
#include <span>
#include <vector>

namespace kelvora {

struct SinusoidForecastOptions {
  double sampleRateHz = 1.0;  // > 0
  double lowHz = 0.0;         // tones continued only strictly inside (lowHz, highHz)
  double highHz = 0.0;
  int maxOrder = 1;           // >= 1: the most tones fitted
  // Read before every fit (each O(L)): once true, the forecast ends at once with nothing. Null: never.
  const std::atomic<bool>* stop = nullptr;
};

// `count` values following record[0 .. L-1] (L >= 4), sample L + i at (L + i) / fs. `weights` (empty: all 1,
// else L positive values) weigh the samples in the fits; nothing when options.stop ended it. Cost: about 100
// fits of O(L) per tone. Pure; any thread.
std::optional<std::vector<double>> ForecastSinusoids(std::span<const double> record, std::span<const double> weights, long long count,
                                      const SinusoidForecastOptions& options);

}  // namespace kelvora
