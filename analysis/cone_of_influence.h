#pragma once
// The cone of influence of a Morlet transform: where the record's ends reach into W(f, n).
//
// W(f, n) is valid when n / fs >= c * s and (N - 1 - n) / fs >= c * s, s = f0 / f the scale in seconds and
// c = 2.576 the half-width of the Gaussian's 99 % support in units of s. Values outside are drawn dimmed and left
// out of every average.

namespace kelvora {

inline constexpr double kConeFactor = 2.576;

// An inclusive range of sample indices; empty when first > last.
struct SampleRange {
  long long first = 0;
  long long last = -1;

  bool empty() const { return first > last; }
  long long size() const { return empty() ? 0 : last - first + 1; }
  bool contains(long long n) const { return n >= first && n <= last; }
};

// c * f0 / f: the time from either end of the record, in seconds, before W(f, .) becomes valid. f > 0.
double ConeEdgeSeconds(double frequencyHz, double centreFrequency);

// The valid samples of W(frequencyHz, n) for a record of `sampleCount` samples at sampleRateHz: exactly the n
// that satisfy both inequalities above as written (evaluated in double). Empty when the record is too short.
SampleRange ValidSamples(double frequencyHz, double centreFrequency, double sampleRateHz, long long sampleCount);

// (2 c f0 / lowHz + 1 / lowHz) / 60: the record length in minutes that a band starting at lowHz needs, the cone
// at both ends plus one period of its lowest frequency.
double NeededRecordMinutes(double lowHz, double centreFrequency);

}  // namespace kelvora
