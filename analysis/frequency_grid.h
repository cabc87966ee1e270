#pragma once
// The frequencies of a time-frequency analysis: a logarithmic grid of so many voices per octave.
#include <vector>

namespace kelvora {

// f_j = 2^(j / voices) Hz for every integer j with fMinHz <= f_j <= fMaxHz, in increasing order. A grid
// frequency within 1e-12 (relative) of an end counts as inside, so 0.5 .. 4 Hz holds both ends. Empty when
// fMinHz > fMaxHz, fMinHz <= 0 or voices < 1. With 32 voices 0.005 .. 2/3 Hz holds 226 frequencies and
// 0.005 .. 2 Hz 277. Pure; any thread.
std::vector<double> VoiceFrequencies(double fMinHz, double fMaxHz, int voices);

}  // namespace kelvora
