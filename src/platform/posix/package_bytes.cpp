// The package of the running updater: the file named by UPDATER_PACKAGE, or
// the bytes appended to /proc/self/exe before its trailer; and its integrity
// record, the file named by UPDATER_INTEGRITY.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/posix/package_trailer.h"

namespace {

bool ReadAt(int fd, uint8_t* buffer, size_t size, off_t offset) {
  for (size_t done = 0; done < size;) {
    const ssize_t n = pread(fd, buffer + done, size - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The package carried by the executable open as `fd`: where it starts and
// how long it is. False, with both left alone, when there is none.
bool FindAppendedPackage(int fd, off_t* start, uint64_t* size) {
  struct stat info;
  if (fstat(fd, &info) != 0 || info.st_size < static_cast<off_t>(kPackageTrailerSize))
    return false;
  const uint64_t fileSize = static_cast<uint64_t>(info.st_size);
  uint8_t trailer[kPackageTrailerSize];
  if (!ReadAt(fd, trailer, sizeof trailer, info.st_size - static_cast<off_t>(sizeof trailer)) ||
      !DecodePackageTrailer(trailer, fileSize, size))
    return false;
  *start = static_cast<off_t>(fileSize - kPackageTrailerSize - *size);
  return true;
}

uint8_t* ReadPackage(uint32_t* size) {
  if (const char* path = std::getenv("UPDATER_PACKAGE")) return PlatReadWholeFile(path, size);
  const int fd = open("/proc/self/exe", O_RDONLY);
  if (fd < 0) return nullptr;
  off_t start = 0;
  uint64_t length = 0;
  uint8_t* bytes = nullptr;
  if (FindAppendedPackage(fd, &start, &length) && length <= UINT32_MAX) {
    bytes = static_cast<uint8_t*>(std::malloc(length ? length : 1));
    if (bytes && !ReadAt(fd, bytes, length, start)) {
      std::free(bytes);
      bytes = nullptr;
    }
  }
  close(fd);
  if (bytes) *size = static_cast<uint32_t>(length);
  return bytes;
}

}  // namespace

bool PlatLocatePackage(const uint8_t** image, uint32_t* size) {
  // The bytes stay until the next call, which reads them afresh: a test may
  // run the updater several times in one process.
  static uint8_t* package = nullptr;
  static uint32_t packageSize = 0;
  std::free(package);
  packageSize = 0;
  package = ReadPackage(&packageSize);
  if (!package || packageSize == 0) return false;
  *image = package;
  *size = packageSize;
  return true;
}

bool PlatLocateIntegrityRecord(const uint8_t** image, uint32_t* size) {
  static uint8_t* record = nullptr;
  static uint32_t recordSize = 0;
  std::free(record);
  record = nullptr;
  recordSize = 0;
  const char* path = std::getenv("UPDATER_INTEGRITY");
  if (!path) return false;
  // Named but unreadable is a record that cannot be trusted, not none.
  record = PlatReadWholeFile(path, &recordSize);
  *image = record;
  *size = record ? recordSize : 0;
  return true;
}
