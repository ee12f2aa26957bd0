#include "base/state.h"

#include <cstring>

#include "core/sjis.h"

UpdaterSettingsRecord UpdaterSettings;
char WindowCaption[kMessageSize] = "UPDATE";
PlatWindow DialogWindow;

int ShowUpdaterError(const char* text) {
  return PlatMessageBox(DialogWindow, text, WindowCaption, kPlatButtonsOk,
                        kPlatIconError);
}

bool AppendPathComponent(char* path, const char* component) {
  const size_t length = std::strlen(path);
  // The last byte, not the last character: a double-byte character whose
  // second byte is '\' already ends the path as far as the join is concerned.
  const bool separator = length > 0 && path[length - 1] != '\\' &&
                         path[length - 1] != '/';
  const size_t componentLength = std::strlen(component);
  // Text, separator, component and the two NULs of the shell's list form.
  if (length + (separator ? 1 : 0) + componentLength + 2 > kPathSize) {
    return false;
  }
  char* end = path + length;
  if (separator) *end++ = '\\';
  std::memcpy(end, component, componentLength);
  end[componentLength] = '\0';
  end[componentLength + 1] = '\0';
  return true;
}

void VolumeRootOf(const char* path, char* root) {
  const unsigned char first = static_cast<unsigned char>(path[0]);
  if (((first | 0x20) >= 'a' && (first | 0x20) <= 'z') && path[1] == ':') {
    root[0] = path[0];
    root[1] = ':';
    root[2] = '\0';
    return;
  }
  const size_t folderLength = SjisFolderLength(path, true);
  if (folderLength == 0) {
    std::strcpy(root, ".");
    return;
  }
  std::memcpy(root, path, folderLength);
  root[folderLength] = '\0';
}

void ResetUpdaterState() {
  std::memset(&UpdaterSettings, 0, sizeof UpdaterSettings);
  std::memset(WindowCaption, 0, sizeof WindowCaption);
  std::strcpy(WindowCaption, "UPDATE");
  DialogWindow = nullptr;
}
