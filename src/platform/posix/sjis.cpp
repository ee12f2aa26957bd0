// Shift-JIS text comparison.
#include "platform/posix/sjis.h"

namespace {
unsigned char FoldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}
}  // namespace

bool SjisEqualIgnoreCase(const char* a, size_t aSize, const char* b, size_t bSize) {
  if (aSize != bSize) return false;
  const char* const end = a + aSize;
  while (a < end) {
    const int n = SjisCharLength(a, end);
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
