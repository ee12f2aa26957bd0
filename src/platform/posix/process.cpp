// Process set-up and the temporary folder.
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

// Nothing to harden or initialise here: no DLL search path, no COM.
void PlatInitialize() {}

bool PlatTempFolder(char* buffer, size_t capacity) {
  const char* folder = std::getenv("TMPDIR");
  if (!folder || !*folder) folder = "/tmp";
  const size_t length = std::strlen(folder);
  const bool needsSlash = folder[length - 1] != '/';
  if (length + needsSlash + 1 > capacity) return false;
  std::memcpy(buffer, folder, length);
  if (needsSlash) buffer[length] = '/';
  buffer[length + needsSlash] = '\0';
  return true;
}
