// FILETIME (100 ns ticks since 1601-01-01 UTC) and POSIX time, both ways,
// exactly: times before 1970 and fractions of a second included.
#pragma once
#include <cstdint>
#include <ctime>

// False for a time before 1601 or beyond the 64-bit tick range.
bool FileTimeFromTimespec(const timespec& time, uint64_t* fileTime);

// Every FILETIME has a POSIX time (a 64-bit time_t reaches far enough).
timespec TimespecFromFileTime(uint64_t fileTime);
