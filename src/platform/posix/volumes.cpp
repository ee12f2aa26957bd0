// Volumes: free and total bytes through statvfs, CD-ROM drives from the
// drive table.
#include <sys/statvfs.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/posix/drives.h"
#include "platform/posix/paths.h"
#include "platform/posix/syscalls.h"

namespace {

// The volume of a path that does not exist yet is that of its nearest
// existing folder, so a target file can be asked about before it is written.
bool StatNearest(char* path, struct statvfs* info) {
  for (;;) {
    if (gPosixSyscalls.xStatvfs(path, info) == 0) return true;
    char* slash = std::strrchr(path, '/');
    if (!slash) return gPosixSyscalls.xStatvfs(".", info) == 0;
    if (slash == path) return gPosixSyscalls.xStatvfs("/", info) == 0;
    *slash = '\0';
  }
}

}  // namespace

bool PlatQueryDiskSpace(const char* root, uint64_t* freeForCaller, uint64_t* total,
                        uint64_t* totalFree) {
  char posix[kPosixPathSize];
  struct statvfs info;
  if (!PosixPath(root, posix, sizeof posix) || !StatNearest(posix, &info)) return false;
  *freeForCaller = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
  *total = static_cast<uint64_t>(info.f_blocks) * info.f_frsize;
  if (totalFree) *totalFree = static_cast<uint64_t>(info.f_bfree) * info.f_frsize;
  return true;
}

bool PlatIsCdromDrive(const char* root) {
  char letter;
  char folder[kPosixPathSize];
  return ParseDriveRoot(root, &letter) && LookUpDrive(letter, folder, sizeof folder);
}
