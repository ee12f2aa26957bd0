// Timing shared by the benchmarks.
#pragma once
#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include <algorithm>
#include <functional>

// Processor time of this thread: on a shared machine, wall time counts the
// other processes too. (<chrono> cannot be compiled with Shift-JIS literals:
// it spells a micro sign.) Windows counts a thread's time in scheduler
// ticks of about 16 ms, longer than a pass over one file, so there it is
// wall time.
inline double Now() {
#ifdef _WIN32
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return double(count.QuadPart) / double(frequency.QuadPart);
#else
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
#endif
}

// Fastest of at least three passes and at least `minSeconds` of passes in
// all: the fastest pass is the one least disturbed.
inline double FastestPass(const std::function<void()>& pass, double minSeconds) {
  double best = 1e30, total = 0;
  for (int n = 0; n < 3 || total < minSeconds; ++n) {
    double start = Now();
    pass();
    double s = Now() - start;
    best = std::min(best, s);
    total += s;
  }
  return best;
}
