// The updater's own temporary folder: mkdtemp makes it new, with a random
// name and only its owner let in (mode 0700). POSIX has no lock that keeps
// a process of the same user from writing an open file; the file is held
// open all the same, as on Windows, and the folder's mode keeps other
// users out.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/paths.h"

bool PlatMakePrivateFolder(char* buffer, size_t capacity) {
  static const char kName[] = "updater-XXXXXX";
  char folder[kPosixPathSize];
  if (!PlatTempFolder(folder, sizeof folder - (sizeof kName - 1))) return false;
  std::strcat(folder, kName);
  if (!mkdtemp(folder)) return false;
  const size_t length = std::strlen(folder);
  if (length + 2 > capacity) {
    rmdir(folder);
    return false;
  }
  std::memcpy(buffer, folder, length);
  buffer[length] = '/';
  buffer[length + 1] = '\0';
  return true;
}

bool PlatRemoveFolder(const char* path) {
  char posix[kPosixPathSize];
  return PosixPath(path, posix, sizeof posix) && rmdir(posix) == 0;
}

// The descriptor plus one, so that descriptor 0 is not the null handle.
PlatHeldFile PlatHoldFile(const char* path) {
  char posix[kPosixPathSize];
  if (!PosixPath(path, posix, sizeof posix)) return nullptr;
  const int fd = open(posix, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  return fd < 0 ? nullptr : reinterpret_cast<PlatHeldFile>(intptr_t(fd) + 1);
}

void PlatReleaseFile(PlatHeldFile file) {
  if (file) close(int(reinterpret_cast<intptr_t>(file) - 1));
}
