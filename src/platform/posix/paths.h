// The one place where the updater's Windows-style paths become POSIX paths.
#pragma once
#include <cstddef>

// Room for any POSIX path this layer builds.
constexpr size_t kPosixPathSize = 4096;

// Writes the POSIX form of `path` to `out`: every '\' that is a character of
// its own becomes '/', the second byte of a double-byte character is kept
// as it is, and a leading drive "X:" becomes the folder the drive table maps
// it to. False when the drive has no folder (errno ENOENT) or the result
// does not fit (ENAMETOOLONG).
bool PosixPath(const char* path, char* out, size_t capacity);

// True when `root` is a drive root: "X:" with an optional separator after it.
// `letter` receives the letter in upper case.
bool ParseDriveRoot(const char* root, char* letter);
