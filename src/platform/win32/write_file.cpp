// Replacing a file in one step: the bytes go to a temporary file beside the
// target, which then takes the target's place. A failed or interrupted write
// (a full disk, a power cut) leaves the player's old file as it was.
#include <windows.h>

#include <cstring>

#include "core/sjis.h"
#include "platform/platform.h"
#include "platform/win32/handle.h"

namespace {

// Creates a new, empty temporary file in the target's folder; the name is
// short so that it fits wherever the target's own name fits.
HANDLE CreateTemporaryBeside(const char* target, char* tempPath) {
  const size_t folder = SjisFolderLength(target, true);
  if (folder + 8 > MAX_PATH) return INVALID_HANDLE_VALUE;
  std::memcpy(tempPath, target, folder);
  const DWORD seed = GetCurrentProcessId() ^ GetTickCount();
  for (DWORD attempt = 0; attempt < 16; ++attempt) {
    wsprintfA(tempPath + folder, "~up%04X", (seed + attempt * 7919u) & 0xFFFFu);
    HANDLE handle = CreateFileA(tempPath, GENERIC_WRITE, 0, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
      return handle;
  }
  return INVALID_HANDLE_VALUE;
}

bool StampAllTimes(HANDLE file, const uint64_t* fileTime) {
  if (!fileTime) return true;
  FILETIME time;
  time.dwLowDateTime = DWORD(*fileTime);
  time.dwHighDateTime = DWORD(*fileTime >> 32);
  return SetFileTime(file, &time, &time, &time) != 0;
}

bool FillTemporary(HANDLE file, const void* data, uint32_t size,
                   const uint64_t* fileTime) {
  DWORD written = 0;
  return WriteFile(file, data, size, &written, nullptr) && written == size &&
         StampAllTimes(file, fileTime) && FlushFileBuffers(file);
}

}  // namespace

bool PlatWriteWholeFile(const char* path, const void* data, uint32_t size,
                        const uint64_t* fileTime) {
  char tempPath[MAX_PATH];
  bool filled;
  {
    FileHandle temp(CreateTemporaryBeside(path, tempPath));
    if (!temp.valid()) return false;
    filled = FillTemporary(temp.get(), data, size, fileTime);
  }
  if (!filled ||
      !MoveFileExA(tempPath, path,
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(tempPath);
    return false;
  }
  if (!fileTime) return true;
  // NTFS may hand the replaced file's creation time on to a file that takes
  // its name moments later, so the times are set once more in place.
  FileHandle target(CreateFileA(path, FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return target.valid() && StampAllTimes(target.get(), fileTime);
}
