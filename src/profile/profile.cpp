#include "profile/profile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/state.h"
#include "platform/platform.h"

char SetupIniPath[kPathSize];
char UpdateIniPath[kPathSize];
int OptionalKeysMode;
int CurrentDiskNumber;

int ShowSetupError(const char* text) {
  return PlatMessageBox(DialogWindow, text, "INSTCMMN", kPlatButtonsOk,
                        kPlatIconError);
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

static const char* SkipBlanks(const char* field) {
  while (*field == ' ') ++field;
  return field;
}

// Every byte looked at here is below 0x40, so none of them can be the
// second byte of a double-byte character.
static bool HasDiskPrefix(const char* field) { return field[1] == ':'; }

// The bytes of the field that starts at `text`, up to its end.
static size_t FieldLength(const char* text) {
  size_t length = 0;
  while (!IsFieldEnd(text[length])) ++length;
  return length;
}

// The slot holds 259 characters; a longer field ends the list rather than
// overrun it.
constexpr size_t kMaxFieldLength = 259;

int NextListField(char* dest, const char** cursor) {
  const char* field = SkipBlanks(*cursor);
  *cursor = field;
  if (IsFieldEnd(*field)) return 0;

  const char* text = field;
  const bool prefixed = HasDiskPrefix(field);
  if (prefixed) text += 2;
  const size_t length = FieldLength(text);
  // The cursor stays put so that the list stays ended.
  if (length > kMaxFieldLength) return 0;

  if (prefixed) {
    CurrentDiskNumber = field[0] >= '0' && field[0] <= '9' ? field[0] - '0' : 0;
  }
  std::memcpy(dest, text, length);
  dest[length] = '\0';
  // A field that ended the string ends the list: the cursor rests on its NUL.
  *cursor = text[length] == '\0' ? text + length : text + length + 1;
  return 1;
}

const char* ListFieldPrefix(const char* cursor) {
  const char* field = SkipBlanks(cursor);
  return !IsFieldEnd(*field) && HasDiskPrefix(field) ? field : nullptr;
}

ListStop ListStopAt(const char* cursor, const char** unread) {
  const char* field = SkipBlanks(cursor);
  *unread = nullptr;
  if (*field == '\0') return kListEnd;
  if (IsFieldEnd(*field)) {
    *unread = field + 1;
    return kListEmptyField;
  }
  *unread = field;
  return kListFieldTooLong;
}

void ResetProfileState() {
  std::memset(SetupIniPath, 0, sizeof SetupIniPath);
  std::memset(UpdateIniPath, 0, sizeof UpdateIniPath);
  OptionalKeysMode = 0;
  CurrentDiskNumber = 0;
}
