// Profile keys: the whole file read, then looked up by the INI reader.
#include <cstdlib>

#include "platform/platform.h"
#include "platform/posix/ini.h"

uint32_t PlatReadProfileString(const char* section, const char* key, char* dest,
                               uint32_t capacity, const char* path) {
  uint32_t size = 0;
  uint8_t* text = PlatReadWholeFile(path, &size);
  // A missing or unreadable file reads like an empty one: every key missing.
  const uint32_t count = IniReadValue(text ? reinterpret_cast<const char*>(text) : "",
                                      text ? size : 0, section, key, dest, capacity);
  std::free(text);
  return count;
}
