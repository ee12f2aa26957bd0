// The installer's record under HKEY_CURRENT_USER.
#include <windows.h>

#include <cstring>

#include "platform/platform.h"

namespace {

// Reads one value into `buffer` whatever its stored type. A value larger
// than the buffer fails; so does text that leaves no room for its NUL. A
// failed query leaves the buffer zero (a too-small one may hold a part).
bool QueryValue(HKEY key, const char* name, void* buffer, DWORD room,
                bool text) {
  std::memset(buffer, 0, room);
  DWORD size = room;
  const bool read = RegQueryValueExA(key, name, nullptr, nullptr,
                                     static_cast<BYTE*>(buffer),
                                     &size) == ERROR_SUCCESS &&
                    !(text && static_cast<char*>(buffer)[room - 1] != '\0');
  if (!read) std::memset(buffer, 0, room);
  return read;
}

}  // namespace

void PlatReadInstallValues(const char* subKey, PlatInstallValues* values) {
  std::memset(values, 0, sizeof *values);
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return;
  values->keyOpened = true;
  values->hasInstPath = QueryValue(key, "InstPath", values->instPath,
                                   sizeof values->instPath, true);
  if (values->hasInstPath) {
    values->hasDataPath = QueryValue(key, "DataPath", values->dataPath,
                                     sizeof values->dataPath, true);
    values->hasInstMode = QueryValue(key, "InstMode", &values->instMode,
                                     sizeof values->instMode, false);
    if (values->hasInstMode)
      values->hasInstAdd = QueryValue(key, "InstAdd", &values->instAdd,
                                      sizeof values->instAdd, false);
  }
  RegCloseKey(key);
}
