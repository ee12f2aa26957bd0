// Making a native updater: the stub with a package appended behind it
// (the trailer is described in package_trailer.h).
#pragma once
#include <cstdint>

// Writes `executable` with `package` and its trailer appended to `output`
// (POSIX paths), made executable. A package the executable already carries
// is replaced, not stacked. False on failure; `output` is then untouched.
bool AppendPackageToExecutable(const char* executable, const uint8_t* package,
                               uint32_t packageSize, const char* output);
