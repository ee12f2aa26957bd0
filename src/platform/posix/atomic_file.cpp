// One-step file replacement for whole-file writes and shell copies.
#include "platform/posix/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/syscalls.h"

namespace {

// The folder part of `path`, for the directory flush after the rename.
void FolderOf(const char* path, char* folder, size_t capacity) {
  const char* slash = std::strrchr(path, '/');
  if (!slash) {
    std::snprintf(folder, capacity, ".");
  } else if (slash == path) {
    std::snprintf(folder, capacity, "/");
  } else {
    std::snprintf(folder, capacity, "%.*s", static_cast<int>(slash - path), path);
  }
}

}  // namespace

bool AtomicBegin(AtomicFile* file, const char* target) {
  file->fd = -1;
  const size_t length = std::strlen(target);
  if (length >= sizeof file->target) return false;
  std::memcpy(file->target, target, length + 1);
  // A dot name keeps the temporary file out of sight; mkstemp makes it ours.
  const char* slash = std::strrchr(target, '/');
  const int folderLength = slash ? static_cast<int>(slash - target + 1) : 0;
  const int written = std::snprintf(file->temp, sizeof file->temp, "%.*s.%s.upd-XXXXXX",
                                    folderLength, target, target + folderLength);
  if (written < 0 || static_cast<size_t>(written) >= sizeof file->temp) return false;
  file->fd = mkstemp(file->temp);
  return file->fd >= 0;
}

bool AtomicWrite(AtomicFile* file, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  for (size_t done = 0; done < size;) {
    const ssize_t n = gPosixSyscalls.xWrite(file->fd, p + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool AtomicCommit(AtomicFile* file, mode_t mode, const timespec* times) {
  bool ok = fchmod(file->fd, mode) == 0;
  if (ok && times) ok = futimens(file->fd, times) == 0;
  if (ok) ok = fsync(file->fd) == 0;
  if (close(file->fd) != 0) ok = false;
  file->fd = -1;
  if (ok) ok = rename(file->temp, file->target) == 0;
  if (!ok) {
    unlink(file->temp);
    return false;
  }
  // The rename itself lasts only once the folder is flushed; a failure here
  // leaves a complete file, so it is not reported.
  char folder[kPosixPathSize];
  FolderOf(file->target, folder, sizeof folder);
  const int dir = open(folder, O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

void AtomicAbandon(AtomicFile* file) {
  if (file->fd >= 0) close(file->fd);
  file->fd = -1;
  unlink(file->temp);
}
