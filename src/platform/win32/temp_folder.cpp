// The updater's own temporary folder. Its name comes from the system's
// random generator; run elevated, the updater gives it an access list of
// its own that lets in only administrators and the system, so a program
// with the user's rights can neither open it nor put anything in it.
#include <windows.h>
#include <ntsecapi.h>
#include <sddl.h>

#include "platform/platform.h"

namespace {

// Full control for Administrators and SYSTEM, handed down to what is made
// inside; protected, so nothing of the temporary folder's list comes in.
constexpr char kElevatedAccess[] = "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

bool RunsElevated() {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  const bool elevated =
      GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation,
                          &size) &&
      elevation.TokenIsElevated;
  CloseHandle(token);
  return elevated;
}

}  // namespace

bool PlatMakePrivateFolder(char* buffer, size_t capacity) {
  char base[MAX_PATH];
  if (!PlatTempFolder(base, sizeof base)) return false;
  // The base, "updater-", 16 hex digits, the separator and the NUL.
  if (size_t(lstrlenA(base)) + 8 + 16 + 2 > capacity) return false;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
  if (RunsElevated() &&
      !ConvertStringSecurityDescriptorToSecurityDescriptorA(
          kElevatedAccess, SDDL_REVISION_1, &attributes.lpSecurityDescriptor,
          nullptr)) {
    return false;
  }
  bool made = false;
  for (int attempt = 0; attempt < 4 && !made; ++attempt) {
    DWORD random[2];
    if (!RtlGenRandom(random, sizeof random)) break;
    wsprintfA(buffer, "%supdater-%08lx%08lx", base, random[0], random[1]);
    made = CreateDirectoryA(buffer, &attributes) != 0;
    if (!made && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  if (attributes.lpSecurityDescriptor) LocalFree(attributes.lpSecurityDescriptor);
  if (made) lstrcatA(buffer, "\\");
  return made;
}

bool PlatRemoveFolder(const char* path) { return RemoveDirectoryA(path) != 0; }

PlatHeldFile PlatHoldFile(const char* path) {
  // Others may read, as the profile reader does, but neither write nor
  // delete; renaming needs the right to delete.
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? nullptr
                                      : reinterpret_cast<PlatHeldFile>(file);
}

void PlatReleaseFile(PlatHeldFile file) {
  if (file) CloseHandle(reinterpret_cast<HANDLE>(file));
}
