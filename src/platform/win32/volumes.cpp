// Free space and drive types of volumes.
#include <windows.h>

#include "platform/platform.h"

namespace {

typedef BOOL(WINAPI* GetDiskFreeSpaceExProc)(LPCSTR, PULARGE_INTEGER,
                                             PULARGE_INTEGER, PULARGE_INTEGER);

// The 64-bit query is missing from the oldest systems, so it is looked up at
// run time. kernel32 is always mapped: no library is loaded for it.
GetDiskFreeSpaceExProc FindDiskFreeSpaceEx() {
  static GetDiskFreeSpaceExProc proc;
  if (!proc) {
    if (HMODULE kernel = GetModuleHandleA("kernel32.dll"))
      proc = reinterpret_cast<GetDiskFreeSpaceExProc>(
          reinterpret_cast<void*>(GetProcAddress(kernel, "GetDiskFreeSpaceExA")));
  }
  return proc;
}

// "E:" becomes "E:\": the drive calls want the root folder.
const char* RootFolder(const char* root, char* buffer) {
  if (root[0] && root[1] == ':' && root[2] == '\0') {
    buffer[0] = root[0];
    buffer[1] = ':';
    buffer[2] = '\\';
    buffer[3] = '\0';
    return buffer;
  }
  return root;
}

}  // namespace

bool PlatQueryDiskSpace(const char* root, uint64_t* freeForCaller,
                        uint64_t* total, uint64_t* totalFree) {
  char buffer[4];
  const char* folder = RootFolder(root, buffer);
  if (GetDiskFreeSpaceExProc query = FindDiskFreeSpaceEx()) {
    ULARGE_INTEGER caller, all, free;
    if (query(folder, &caller, &all, &free)) {
      *freeForCaller = caller.QuadPart;
      *total = all.QuadPart;
      if (totalFree) *totalFree = free.QuadPart;
      return true;
    }
  }
  DWORD sectorsPerCluster, bytesPerSector, freeClusters, clusters;
  if (!GetDiskFreeSpaceA(folder, &sectorsPerCluster, &bytesPerSector,
                         &freeClusters, &clusters))
    return false;
  const uint64_t clusterSize = uint64_t(sectorsPerCluster) * bytesPerSector;
  *freeForCaller = freeClusters * clusterSize;
  *total = clusters * clusterSize;
  if (totalFree) *totalFree = *freeForCaller;
  return true;
}

bool PlatIsCdromDrive(const char* root) {
  char buffer[4];
  return GetDriveTypeA(RootFolder(root, buffer)) == DRIVE_CDROM;
}
