// Fuzzes the profile reader with arbitrary text and questions. Input: two
// bytes of capacity (little-endian, at most 2047), the section, a NUL, the
// key, a NUL, then the INI text. The value must fit its buffer, end with a
// NUL and have the length the reader returns.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint32_t capacity = (data[0] | (data[1] << 8)) & 0x7FF;
  const char* rest = reinterpret_cast<const char*>(data + 2);
  const char* end = reinterpret_cast<const char*>(data + size);
  const char* sectionEnd = static_cast<const char*>(std::memchr(rest, 0, end - rest));
  if (!sectionEnd) return 0;
  const char* key = sectionEnd + 1;
  const char* keyEnd = static_cast<const char*>(std::memchr(key, 0, end - key));
  if (!keyEnd) return 0;
  const std::string section(rest, sectionEnd);
  // The text gets a buffer of its own, so reading past it is caught.
  const std::vector<char> text(keyEnd + 1, end);

  // One guard byte past the capacity catches a write beyond it.
  std::vector<char> dest(capacity + 1, '\x5a');
  const uint32_t count = IniReadValue(text.data(), text.size(), section.c_str(), key,
                                      dest.data(), capacity);
  if (dest[capacity] != '\x5a') std::abort();
  if (capacity == 0) {
    if (count != 0) std::abort();
    return 0;
  }
  if (count >= capacity || dest[count] != '\0' || std::strlen(dest.data()) != count) std::abort();
  return 0;
}
