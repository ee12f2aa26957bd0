// Files and folders through the ANSI file calls.
#include <windows.h>

#include <cstdlib>

#include "platform/platform.h"
#include "platform/win32/handle.h"

bool PlatGetAttributes(const char* path, unsigned* attributes) {
  const DWORD found = GetFileAttributesA(path);
  if (found == INVALID_FILE_ATTRIBUTES) return false;
  *attributes = ((found & FILE_ATTRIBUTE_DIRECTORY) ? kPlatAttrFolder : 0u) |
                ((found & FILE_ATTRIBUTE_READONLY) ? kPlatAttrReadOnly : 0u);
  return true;
}

bool PlatSetNormalAttributes(const char* path) {
  return SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL) != 0;
}

bool PlatCreateFolder(const char* path) {
  return CreateDirectoryA(path, nullptr) != 0;
}

bool PlatDeleteFile(const char* path) { return DeleteFileA(path) != 0; }

bool PlatReadLastWriteTime(const char* path, uint64_t* fileTime) {
  FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  FILETIME lastWrite;
  if (!file.valid() || !GetFileTime(file.get(), nullptr, nullptr, &lastWrite))
    return false;
  *fileTime = (uint64_t(lastWrite.dwHighDateTime) << 32) |
              lastWrite.dwLowDateTime;
  return true;
}

uint8_t* PlatReadWholeFile(const char* path, uint32_t* size) {
  FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return nullptr;
  const DWORD length = GetFileSize(file.get(), nullptr);
  if (length == INVALID_FILE_SIZE) return nullptr;
  // An empty file still gets a buffer, so null keeps meaning failure.
  auto* buffer = static_cast<uint8_t*>(std::malloc(length ? length : 1));
  if (!buffer) return nullptr;
  DWORD read = 0;
  if (!ReadFile(file.get(), buffer, length, &read, nullptr) || read != length) {
    std::free(buffer);
    return nullptr;
  }
  *size = length;
  return buffer;
}

// The reader is the handle itself.
PlatFileReader PlatOpenFileReader(const char* path, uint32_t* size) {
  const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  if ((low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0) {
    CloseHandle(file);
    return nullptr;
  }
  *size = low;
  return reinterpret_cast<PlatFileReader>(file);
}

bool PlatReadFileAt(PlatFileReader file, uint32_t offset, void* dest, uint32_t size) {
  auto* bytes = static_cast<uint8_t*>(dest);
  while (size != 0) {
    // On a handle opened for plain reads the offset only says where to read.
    OVERLAPPED at = {};
    at.Offset = offset;
    DWORD read = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(file), bytes, size, &read, &at) || read == 0) {
      return false;
    }
    bytes += read;
    offset += read;
    size -= read;
  }
  return true;
}

void PlatCloseFileReader(PlatFileReader file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }
