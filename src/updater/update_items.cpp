// The UpdateFileNN lines of [UPDATE] and the list of package files they make.
#include <cstdio>
#include <cstring>

#include "profile/profile.h"
#include "updater/updater.h"

UpdateItem UpdateItems[kMaxListItems];
int32_t UpdateItemCount;

bool ParseUpdateLine(const char* value, int32_t instMode, UpdateItem* item) {
  char fields[3][kPathSize] = {};
  const char* cursor = value;
  for (auto& field : fields) {
    if (!NextListField(field, &cursor)) break;
  }

  int next = 0;
  const char* first = fields[0];
  if (first[0] >= '0' && first[0] <= '9' && first[1] == '\0') {
    if (first[0] - '0' != instMode) return false;
    next = 1;
  }

  const char* modeField = fields[next];
  const char* path = modeField;
  item->Mode = ModeReplace;
  static const struct {
    char letter;
    UpdateMode mode;
  } kLetters[] = {{'d', ModeData}, {'u', ModeUpdate}, {'o', ModeOverwrite}};
  for (const auto& letter : kLetters) {
    if ((modeField[0] | 0x20) == letter.letter && modeField[1] == '\0') {
      item->Mode = letter.mode;
      path = fields[next + 1];  // empty when the line ends at the letter
      break;
    }
  }
  std::memcpy(item->Path, path, kPathSize);
  // Only '\\' separates: the entry name is what follows the last one.
  item->NameOffset = static_cast<int32_t>(SjisFolderLength(item->Path, false));
  return true;
}

bool ReadNumberedKey(const char* keyFormat, int n, char* value,
                     uint32_t capacity) {
  char key[32];
  std::snprintf(key, sizeof key, keyFormat, n);
  return ReadProfileString("UPDATE", key, value, capacity) != 0;
}

bool BuildUpdateItems() {
  return BuildListItems("UpdateFile%02i", kMessageSize, ParseUpdateLine,
                        UpdateItems, &UpdateItemCount);
}
