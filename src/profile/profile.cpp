#include "profile/profile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/state.h"
#include "platform/platform.h"

char SetupIniPath[260];
char UpdateIniPath[260];
int OptionalKeysMode;
int CurrentDiskNumber;

int ShowSetupError(const char* text) {
  return PlatMessageBox(DialogWindow, text, "INSTCMMN",
                        kPlatMbIconError | kPlatMbOk);
}

// Every reader: an empty value counts as a missing key, and the destination
// is all zeros whenever nothing was read.
int ReadProfileKey(const char* path, const char* section, const char* key,
                   char* dest, uint32_t capacity) {
  if (capacity == 0) return 0;
  std::memset(dest, 0, capacity);
  return PlatReadProfileString(section, key, dest, capacity, path) > 0 ? 1 : 0;
}

int ReadSetupString(const char* key, char* dest, uint32_t capacity) {
  return ReadProfileKey(SetupIniPath, "SETUP", key, dest, capacity);
}

int ReadProfileString(const char* section, const char* key, char* dest,
                      uint32_t capacity) {
  if (ReadProfileKey(UpdateIniPath, section, key, dest, capacity)) return 1;
  if (OptionalKeysMode == 0) {
    char message[kMessageSize];
    std::snprintf(message, sizeof message, "%s : %s キーが存在しません",
                  section, key);
    ShowSetupError(message);
  }
  return 0;
}

int ReadSetupInt(const char* key, int32_t* value) {
  char text[20];
  if (!ReadSetupString(key, text, sizeof text)) return 0;
  // long is 32 bits on the target but 64 here: clamp so both give the same.
  const long long number = std::strtoll(text, nullptr, 10);
  if (number > INT32_MAX) {
    *value = INT32_MAX;
  } else if (number < INT32_MIN) {
    *value = INT32_MIN;
  } else {
    *value = static_cast<int32_t>(number);
  }
  return 1;
}

static bool IsFieldEnd(char c) {
  return c == '\0' || c == '\n' || c == '\r' || c == ',';
}

int NextListField(char* dest, const char** cursor, ListFieldNote* note) {
  const char* field = *cursor;
  while (*field == ' ') ++field;
  *cursor = field;
  if (IsFieldEnd(*field)) {
    if (note) {
      note->prefix = nullptr;
      note->stop = *field == '\0' ? kListEnd : kListEmptyField;
      note->unread = *field == '\0' ? nullptr : field + 1;
    }
    return 0;
  }

  // Every byte looked at here is below 0x40, so none of them can be the
  // second byte of a double-byte character.
  const char* text = field;
  const bool prefixed = field[1] == ':';
  if (prefixed) text += 2;
  size_t length = 0;
  while (!IsFieldEnd(text[length])) ++length;
  // The slot holds 259 characters; a longer field ends the list rather than
  // overrun it, and the cursor stays put so that the list stays ended.
  if (length > 259) {
    if (note) *note = {nullptr, kListFieldTooLong, field};
    return 0;
  }

  if (prefixed) {
    CurrentDiskNumber = field[0] >= '0' && field[0] <= '9' ? field[0] - '0' : 0;
  }
  std::memcpy(dest, text, length);
  dest[length] = '\0';
  if (note) *note = {prefixed ? field : nullptr, kListEnd, nullptr};
  // A field that ended the string ends the list: the cursor rests on its NUL.
  *cursor = text[length] == '\0' ? text + length : text + length + 1;
  return 1;
}

void ResetProfileState() {
  std::memset(SetupIniPath, 0, sizeof SetupIniPath);
  std::memset(UpdateIniPath, 0, sizeof UpdateIniPath);
  OptionalKeysMode = 0;
  CurrentDiskNumber = 0;
}
