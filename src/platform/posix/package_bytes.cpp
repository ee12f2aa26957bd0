// The package of the running updater: the file named by UPDATER_PACKAGE, or
// the bytes appended to /proc/self/exe before its trailer; and its integrity
// record, the file named by UPDATER_INTEGRITY.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/posix/package_trailer.h"
#include "platform/posix/paths.h"

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
bool FindAppendedPackage(int fd, uint64_t fileSize, uint64_t* start, uint64_t* size) {
  uint8_t trailer[kPackageTrailerSize];
  if (fileSize < kPackageTrailerSize ||
      !ReadAt(fd, trailer, sizeof trailer, static_cast<off_t>(fileSize - sizeof trailer)) ||
      !DecodePackageTrailer(trailer, fileSize, size))
    return false;
  *start = fileSize - kPackageTrailerSize - *size;
  return true;
}

// The file the package is read from, mapped whole, as the Windows loader
// maps the executable that carries it: pages come in as they are read and
// can be dropped again. Neither file may change during the run: a running
// executable cannot be written, and the named file is a test's own.
struct PackageMapping {
  uint8_t* base = nullptr;
  size_t length = 0;
};
PackageMapping gMapping;

void Unmap() {
  if (gMapping.base) munmap(gMapping.base, gMapping.length);
  gMapping = PackageMapping{};
}

// Maps the package: the file named by UPDATER_PACKAGE, or the bytes
// appended to this executable. Null when there is none or it is empty.
const uint8_t* MapPackage(uint32_t* size) {
  const char* named = std::getenv("UPDATER_PACKAGE");
  int fd = -1;
  if (named) {
    char posix[kPosixPathSize];
    if (!PosixPath(named, posix, sizeof posix)) return nullptr;
    fd = open(posix, O_RDONLY);
  } else {
    fd = open("/proc/self/exe", O_RDONLY);
  }
  if (fd < 0) return nullptr;
  struct stat info;
  uint64_t start = 0;
  uint64_t length = 0;
  bool found = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (found) {
    const uint64_t fileSize = static_cast<uint64_t>(info.st_size);
    if (named) {
      length = fileSize;
    } else {
      found = FindAppendedPackage(fd, fileSize, &start, &length);
    }
  }
  found = found && length != 0 && length <= UINT32_MAX;
  void* base = MAP_FAILED;
  if (found) {
    gMapping.length = static_cast<size_t>(start + length);
    base = mmap(nullptr, gMapping.length, PROT_READ, MAP_PRIVATE, fd, 0);
  }
  close(fd);
  if (base == MAP_FAILED) {
    gMapping = PackageMapping{};
    return nullptr;
  }
  gMapping.base = static_cast<uint8_t*>(base);
  *size = static_cast<uint32_t>(length);
  return gMapping.base + start;
}

}  // namespace

bool PlatLocatePackage(const uint8_t** image, uint32_t* size) {
  // The mapping stays until the next call, which maps afresh: a test may
  // run the updater several times in one process.
  Unmap();
  uint32_t length = 0;
  const uint8_t* package = MapPackage(&length);
  if (!package) return false;
  *image = package;
  *size = length;
  return true;
}

void PlatReleasePackageBytes(const uint8_t* bytes, uint32_t size) {
  if (!gMapping.base || bytes < gMapping.base) return;
  const size_t offset = static_cast<size_t>(bytes - gMapping.base);
  if (offset > gMapping.length || size > gMapping.length - offset) return;
  // Whole pages only; a page shared with bytes still in use is read again
  // from the file when they are.
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t from = reinterpret_cast<uintptr_t>(bytes) & ~(page - 1);
  const uintptr_t to = reinterpret_cast<uintptr_t>(bytes) + size;
  madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
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
