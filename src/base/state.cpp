#include "base/state.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

UpdaterSettingsRecord UpdaterSettings;
InstallRecordValues InstallRecord;
char WindowCaption[kMessageSize] = "UPDATE";
PlatWindow DialogWindow;

int ShowUpdaterError(const char* text) {
  return PlatMessageBox(DialogWindow, text, WindowCaption,
                        kPlatMbIconError | kPlatMbOk);
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

void SetInfoText(PlatWindow dialog, const char* format, ...) {
  char text[kMessageSize] = "";
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  PlatSetControlText(dialog, kIdInfo, text);
}

void EnableControl(PlatWindow dialog, int controlId, int flag) {
  PlatEnableControl(dialog, controlId, flag != 0);
}

void ResetUpdaterState() {
  std::memset(&UpdaterSettings, 0, sizeof UpdaterSettings);
  std::memset(&InstallRecord, 0, sizeof InstallRecord);
  std::memset(WindowCaption, 0, sizeof WindowCaption);
  std::strcpy(WindowCaption, "UPDATE");
  DialogWindow = nullptr;
}
