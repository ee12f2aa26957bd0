// FILETIME, the time stamp of the package's entries and of Windows files:
// 100 ns ticks since 1601-01-01 UTC, and its relation to Unix time.
#pragma once
#include <cstdint>

constexpr int64_t kFileTimeTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr uint64_t kUnixEpochAsFileTime =
    uint64_t(kSecondsFrom1601To1970) * kFileTimeTicksPerSecond;

// The FILETIME of a Unix time (`nanoseconds` 0 to 999999999). False for a
// time before 1601 or beyond the 64-bit tick range.
constexpr bool FileTimeFromUnix(int64_t seconds, int64_t nanoseconds,
                                uint64_t* fileTime) {
  if (seconds < -kSecondsFrom1601To1970) return false;
  const uint64_t wholeTicks = uint64_t(seconds + kSecondsFrom1601To1970);
  if (wholeTicks > UINT64_MAX / kFileTimeTicksPerSecond) return false;
  const uint64_t ticks = wholeTicks * kFileTimeTicksPerSecond;
  const uint64_t fraction = uint64_t(nanoseconds) / 100;
  if (ticks > UINT64_MAX - fraction) return false;
  *fileTime = ticks + fraction;
  return true;
}

// The Unix time of a FILETIME: whole seconds (floor) and the nanoseconds
// after them, never negative.
constexpr int64_t UnixSecondsOf(uint64_t fileTime) {
  return int64_t(fileTime / kFileTimeTicksPerSecond) - kSecondsFrom1601To1970;
}
constexpr int64_t UnixNanosecondsOf(uint64_t fileTime) {
  return int64_t(fileTime % kFileTimeTicksPerSecond) * 100;
}
