// The profile reader: INI text in memory, answered the way the Windows
// profile functions answer, so that UPDATE.INI and SETUP.INI written for
// Windows read the same here.
#pragma once
#include <cstddef>
#include <cstdint>

enum IniLookup {
  kIniNoSection,  // no section of that name
  kIniNoKey,      // the section exists, the key is not in it
  kIniNoValue,    // the key's line has no '='
  kIniFound,
};

// Finds `key` of `section` in `size` bytes of `text`. Both names are compared
// without regard to ASCII case after their surrounding blanks are dropped;
// the first section of that name is the only one searched and the first
// line of that key wins. Lines before the first section header belong to a
// section named "". On kIniFound, `value` and `valueSize` give the
// value's bytes in `text`: trimmed, and one pair of matching quotes (both
// '"' or both '\'') around the whole value taken off.
IniLookup IniFind(const char* text, size_t size, const char* section,
                  const char* key, const char** value, size_t* valueSize);

// Copies the value IniFind finds to `dest` like GetPrivateProfileStringA
// with an empty default: cut at capacity - 1 bytes (never inside a double-byte
// character) and NUL-terminated. Returns the bytes copied: 0 for a missing
// section or key, an empty value or a capacity of 0 (`dest` is then left
// alone).
uint32_t IniReadValue(const char* text, size_t size, const char* section,
                      const char* key, char* dest, uint32_t capacity);
