// Shift-JIS, the code page of every name and text the updater handles: the
// byte after a lead byte belongs to the same character, even when it looks
// like '\' or an ASCII letter, so text is walked by characters.
#pragma once
#include <cstddef>
#include <cstring>

constexpr bool IsLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Length of the character at `p`: 2 for a lead byte with a byte after it
// (`end` one past the last byte, or null for NUL-terminated text), 1
// otherwise; a lone lead byte at the end stands for itself.
inline size_t SjisCharLength(const char* p, const char* end = nullptr) {
  if (!IsLeadByte(static_cast<unsigned char>(*p))) return 1;
  return (end ? end - p >= 2 : p[1] != '\0') ? 2 : 1;
}

// ASCII letters to upper case, every other unit as it is; for bytes and
// for UTF-16 units alike.
template <typename Unit>
constexpr Unit FoldAscii(Unit c) {
  return (c >= Unit('a') && c <= Unit('z')) ? Unit(c - 'a' + 'A') : c;
}

// Equal without regard to ASCII case; both bytes of a double-byte character
// must match exactly (its trail byte may look like a letter).
inline bool SjisEqualIgnoreCase(const char* a, size_t aSize, const char* b,
                                size_t bSize) {
  if (aSize != bSize) return false;
  const char* const end = a + aSize;
  while (a < end) {
    const size_t n = SjisCharLength(a, end);
    if (n == 2) {
      if (a[0] != b[0] || a[1] != b[1]) return false;
    } else if (FoldAscii(static_cast<unsigned char>(*a)) !=
               FoldAscii(static_cast<unsigned char>(*b))) {
      return false;
    }
    a += n;
    b += n;
  }
  return true;
}

inline bool SjisEqualIgnoreCase(const char* a, const char* b) {
  return SjisEqualIgnoreCase(a, std::strlen(a), b, std::strlen(b));
}

// Length of the folder part of `path`, its last separator included (0 for
// a bare name). '\' separates; with `slashSeparates`, '/' does too.
inline size_t SjisFolderLength(const char* path, bool slashSeparates) {
  size_t folder = 0;
  for (size_t i = 0; path[i] != '\0'; i += SjisCharLength(path + i)) {
    if (path[i] == '\\' || (slashSeparates && path[i] == '/')) folder = i + 1;
  }
  return folder;
}
