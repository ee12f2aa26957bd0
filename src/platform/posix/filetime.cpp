// Time conversions through the FILETIME rules of the core: floor division
// keeps sub-second ticks right on both sides of 1970.
#include "platform/posix/filetime.h"

#include "core/filetime.h"

static_assert(sizeof(time_t) == 8, "FILETIMEs need a 64-bit time_t");

bool FileTimeFromTimespec(const timespec& time, uint64_t* fileTime) {
  return FileTimeFromUnix(time.tv_sec, time.tv_nsec, fileTime);
}

timespec TimespecFromFileTime(uint64_t fileTime) {
  timespec time{};
  time.tv_sec = static_cast<time_t>(UnixSecondsOf(fileTime));
  time.tv_nsec = static_cast<long>(UnixNanosecondsOf(fileTime));
  return time;
}
