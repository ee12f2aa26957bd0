// Replacing a file in one step: the bytes go to a temporary file beside the
// target, which then takes the target's place. A failed or interrupted write
// (a full disk, a power cut) leaves the player's old file as it was.
#include <windows.h>

#include <cstdlib>
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

}  // namespace

struct PlatNewFileTag {
  HANDLE handle;
  char temp[MAX_PATH];
  char target[MAX_PATH];
};

PlatNewFile PlatBeginFile(const char* path) {
  // Refused now rather than after the whole file is written: the rename
  // would fail on a folder or a read-only file.
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
    return nullptr;
  }
  if (lstrlenA(path) >= MAX_PATH) return nullptr;
  auto* file = static_cast<PlatNewFileTag*>(std::malloc(sizeof(PlatNewFileTag)));
  if (!file) return nullptr;
  lstrcpyA(file->target, path);
  file->handle = CreateTemporaryBeside(path, file->temp);
  if (file->handle != INVALID_HANDLE_VALUE) return file;
  std::free(file);
  return nullptr;
}

bool PlatAppendFile(PlatNewFile file, const void* data, uint32_t size) {
  DWORD written = 0;
  return WriteFile(file->handle, data, size, &written, nullptr) && written == size;
}

bool PlatCommitFile(PlatNewFile file, const uint64_t* fileTime) {
  bool ok = StampAllTimes(file->handle, fileTime) && FlushFileBuffers(file->handle);
  CloseHandle(file->handle);
  ok = ok && MoveFileExA(file->temp, file->target,
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileA(file->temp);
  if (ok && fileTime) {
    // NTFS may hand the replaced file's creation time on to a file that
    // takes its name moments later, so the times are set once more in place.
    FileHandle target(CreateFileA(file->target, FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ok = target.valid() && StampAllTimes(target.get(), fileTime);
  }
  std::free(file);
  return ok;
}

void PlatAbandonFile(PlatNewFile file) {
  CloseHandle(file->handle);
  DeleteFileA(file->temp);
  std::free(file);
}
