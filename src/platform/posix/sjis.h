// Shift-JIS byte classes. Paths and profile text are scanned character by
// character: the second byte of a double-byte character may be '\', ']' or an
// ASCII letter and must never be taken for one.
#pragma once
#include <cstddef>

inline bool IsSjisLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Length of the character at `p`, `end` being one past the last byte: 2 for a
// lead byte with a byte after it, 1 otherwise (a lone lead byte at the end
// stands for itself).
inline int SjisCharLength(const char* p, const char* end) {
  return (IsSjisLeadByte(static_cast<unsigned char>(*p)) && end - p >= 2) ? 2
                                                                          : 1;
}

// Equal without regard to ASCII case; both bytes of a double-byte character
// must match exactly (its trail byte may look like a letter).
bool SjisEqualIgnoreCase(const char* a, size_t aSize, const char* b, size_t bSize);
