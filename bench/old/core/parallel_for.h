#pragma once
// The implementation this program had before its transforms moved to FFTW, kept unchanged (namespace aside)
// only so that the benchmarks can measure old and new code in the same run. Nothing in the program uses it.
// Spreading independent units of work (bins, output samples) over a few threads.
#include <functional>

namespace kelvora::old {

// The number of worker threads the spectral code uses: the hardware's core count, 1 .. 16.
int SpectralThreadCount();

// Calls work(begin, end) for consecutive chunks of [0, count) of at most `chunk` units, on up to `threads`
// threads (the calling thread is one of them). Chunks are handed out in increasing order. After each chunk the
// calling thread runs onChunkDone(unitsDoneSoFar) (never concurrently with itself; the count covers all
// threads), so it may report progress. `work` must only write state that belongs to its own units.
// Returns when every chunk is done.
void ParallelFor(long long count, long long chunk, int threads,
                 const std::function<void(long long begin, long long end)>& work,
                 const std::function<void(long long done)>& onChunkDone);

}  // namespace kelvora::old
