// Time conversions. Floor division keeps sub-second ticks right on both
// sides of 1970: tv_nsec is never negative.
#include "platform/posix/filetime.h"

namespace {
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
}  // namespace

static_assert(sizeof(time_t) == 8, "FILETIMEs need a 64-bit time_t");

bool FileTimeFromTimespec(const timespec& time, uint64_t* fileTime) {
  const int64_t seconds = static_cast<int64_t>(time.tv_sec) + kSecondsFrom1601To1970;
  if (seconds < 0) return false;
  const uint64_t wholeTicks = static_cast<uint64_t>(seconds);
  if (wholeTicks > UINT64_MAX / kTicksPerSecond) return false;
  const uint64_t ticks = wholeTicks * kTicksPerSecond;
  const uint64_t fraction = static_cast<uint64_t>(time.tv_nsec) / 100;
  if (ticks > UINT64_MAX - fraction) return false;
  *fileTime = ticks + fraction;
  return true;
}

timespec TimespecFromFileTime(uint64_t fileTime) {
  timespec time{};
  time.tv_sec = static_cast<time_t>(fileTime / kTicksPerSecond) - kSecondsFrom1601To1970;
  time.tv_nsec = static_cast<long>(fileTime % kTicksPerSecond) * 100;
  return time;
}
