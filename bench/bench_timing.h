// CPU-time clocks and best-of-N timing for the benchmarks. The machine is shared, and
// wall-clock time would charge other people's work to whatever ran beside it.
#pragma once

#include <time.h>

#include <algorithm>
#include <functional>

namespace narwick::bench {

inline double ClockSeconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}
inline double ProcessSeconds() { return ClockSeconds(CLOCK_PROCESS_CPUTIME_ID); }
inline double ThreadSeconds() { return ClockSeconds(CLOCK_THREAD_CPUTIME_ID); }
// Elapsed time, for work spread over threads (their CPU times add up).
inline double WallSeconds() { return ClockSeconds(CLOCK_MONOTONIC); }

// The best of `runs` runs of `fn`, in seconds of `clock`.
inline double BestSeconds(int runs, const std::function<void()>& fn, double (*clock)() = ProcessSeconds) {
  double best = 1e300;
  for (int run = 0; run < runs; ++run) {
    const double start = clock();
    fn();
    best = std::min(best, clock() - start);
  }
  return best;
}

}  // namespace narwick::bench
