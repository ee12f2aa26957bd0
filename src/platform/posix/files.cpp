// Files and folders. Read-only is the owner's write bit; the creation time
// has no counterpart that can be set, so a time stamp sets the access and
// modification times.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/atomic_file.h"
#include "platform/posix/filetime.h"
#include "platform/posix/paths.h"
#include "platform/posix/syscalls.h"

namespace {

// The mode a newly created file gets: 0666 less the umask.
mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

bool StatPath(const char* path, struct stat* info) {
  char posix[kPosixPathSize];
  return PosixPath(path, posix, sizeof posix) && stat(posix, info) == 0;
}

bool IsReadOnly(const struct stat& info) { return (info.st_mode & S_IWUSR) == 0; }

// A plain file of less than 4 GiB opened for reading, and its size; -1 for
// anything else, as the Windows calls would fail on a folder.
int OpenFileToRead(const char* path, uint32_t* size) {
  char posix[kPosixPathSize];
  if (!PosixPath(path, posix, sizeof posix)) return -1;
  const int fd = open(posix, O_RDONLY);
  if (fd < 0) return -1;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > UINT32_MAX) {
    close(fd);
    return -1;
  }
  *size = static_cast<uint32_t>(info.st_size);
  return fd;
}

}  // namespace

bool PlatGetAttributes(const char* path, unsigned* attributes) {
  struct stat info;
  if (!StatPath(path, &info)) return false;
  *attributes = (S_ISDIR(info.st_mode) ? kPlatAttrFolder : 0u) |
                (IsReadOnly(info) ? kPlatAttrReadOnly : 0u);
  return true;
}

bool PlatSetNormalAttributes(const char* path) {
  char posix[kPosixPathSize];
  struct stat info;
  if (!PosixPath(path, posix, sizeof posix) || stat(posix, &info) != 0) return false;
  return chmod(posix, (info.st_mode & 07777) | S_IWUSR) == 0;
}

bool PlatCreateFolder(const char* path) {
  char posix[kPosixPathSize];
  return PosixPath(path, posix, sizeof posix) && mkdir(posix, 0777) == 0;
}

bool PlatDeleteFile(const char* path) {
  char posix[kPosixPathSize];
  struct stat info;
  if (!PosixPath(path, posix, sizeof posix) || lstat(posix, &info) != 0) return false;
  // Like Windows, a read-only file stays until it is made writable.
  if (!S_ISLNK(info.st_mode) && IsReadOnly(info)) {
    errno = EACCES;
    return false;
  }
  return unlink(posix) == 0;
}

bool PlatReadLastWriteTime(const char* path, uint64_t* fileTime) {
  char posix[kPosixPathSize];
  if (!PosixPath(path, posix, sizeof posix)) return false;
  const int fd = open(posix, O_RDONLY);
  if (fd < 0) return false;
  struct stat info;
  // A folder opens on Linux but not on Windows, where this open would fail.
  const bool ok = fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode) &&
                  FileTimeFromTimespec(info.st_mtim, fileTime);
  close(fd);
  return ok;
}

struct PlatNewFileTag {
  AtomicFile file;
};

PlatNewFile PlatBeginFile(const char* path) {
  char posix[kPosixPathSize];
  if (!PosixPath(path, posix, sizeof posix)) return nullptr;
  // Windows writes through a link to the file it names; the rename at the
  // end would replace the link itself.
  char linked[PATH_MAX];
  struct stat link;
  if (lstat(posix, &link) == 0 && S_ISLNK(link.st_mode) && realpath(posix, linked) &&
      std::strlen(linked) < sizeof posix)
    std::strcpy(posix, linked);
  // Windows refuses to replace a read-only file or a folder; the rename
  // would replace the one and fail late on the other.
  struct stat info;
  if (stat(posix, &info) == 0 && (S_ISDIR(info.st_mode) || IsReadOnly(info))) {
    errno = S_ISDIR(info.st_mode) ? EISDIR : EACCES;
    return nullptr;
  }
  auto* file = static_cast<PlatNewFileTag*>(std::malloc(sizeof(PlatNewFileTag)));
  if (file && AtomicBegin(&file->file, posix)) return file;
  std::free(file);
  return nullptr;
}

bool PlatAppendFile(PlatNewFile file, const void* data, uint32_t size) {
  return AtomicWrite(&file->file, data, size);
}

bool PlatCommitFile(PlatNewFile file, const uint64_t* fileTime) {
  timespec times[2];
  if (fileTime) times[0] = times[1] = TimespecFromFileTime(*fileTime);
  const bool ok = AtomicCommit(&file->file, NewFileMode(), fileTime ? times : nullptr);
  std::free(file);
  return ok;
}

void PlatAbandonFile(PlatNewFile file) {
  AtomicAbandon(&file->file);
  std::free(file);
}

uint8_t* PlatReadWholeFile(const char* path, uint32_t* size) {
  uint32_t length = 0;
  const int fd = OpenFileToRead(path, &length);
  if (fd < 0) return nullptr;
  // malloc(0) may give null; an empty file is still a success.
  auto* buffer = static_cast<uint8_t*>(std::malloc(length ? length : 1));
  size_t done = 0;
  while (buffer && done < length) {
    const ssize_t n = read(fd, buffer + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {  // an error, or the file shrank under us
      std::free(buffer);
      buffer = nullptr;
      break;
    }
    done += static_cast<size_t>(n);
  }
  close(fd);
  if (buffer && size) *size = length;
  return buffer;
}

struct PlatFileReaderTag {
  int fd;
};

PlatFileReader PlatOpenFileReader(const char* path, uint32_t* size) {
  const int fd = OpenFileToRead(path, size);
  if (fd < 0) return nullptr;
  auto* file = static_cast<PlatFileReader>(std::malloc(sizeof(PlatFileReaderTag)));
  if (file == nullptr) {
    close(fd);
    return nullptr;
  }
  file->fd = fd;
  return file;
}

bool PlatReadFileAt(PlatFileReader file, uint32_t offset, void* dest, uint32_t size) {
  auto* bytes = static_cast<uint8_t*>(dest);
  while (size != 0) {
    const ssize_t n = gPosixSyscalls.xPread(file->fd, bytes, size, off_t(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // an error, or the file ends sooner
    bytes += n;
    offset += uint32_t(n);
    size -= uint32_t(n);
  }
  return true;
}

void PlatCloseFileReader(PlatFileReader file) {
  close(file->fd);
  std::free(file);
}
