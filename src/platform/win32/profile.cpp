// INI profiles through the system's own reader, which is what the people
// who write UPDATE.INI and SETUP.INI test their files against.
#include <windows.h>

#include "platform/platform.h"

uint32_t PlatReadProfileString(const char* section, const char* key,
                               char* dest, uint32_t capacity,
                               const char* path) {
  return GetPrivateProfileStringA(section, key, "", dest, capacity, path);
}
