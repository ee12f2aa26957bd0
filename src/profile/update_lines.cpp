// The UpdateFileNN and CopyFileNN lines and the number keys of [UPDATE].
#include "profile/update_lines.h"

#include <cstdio>
#include <cstring>

#include "core/sjis.h"
#include "profile/profile.h"

void NumberedKeyName(char* key, size_t capacity, const char* prefix, int n) {
  std::snprintf(key, capacity, "%s%02i", prefix, n);
}

bool ParseUpdateLine(const char* value, int32_t instMode, UpdateItem* item,
                     UpdateLineNote* note) {
  char fields[3][kPathSize] = {};
  const char* cursor = value;
  for (auto& field : fields) {
    if (!NextListField(field, &cursor)) break;
  }

  int next = 0;
  bool applies = true;
  const char* first = fields[0];
  if (first[0] >= '0' && first[0] <= '9' && first[1] == '\0') {
    applies = first[0] - '0' == instMode;
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
  // Only '\' separates: the entry name is what follows the last one.
  item->NameOffset = static_cast<int32_t>(SjisFolderLength(item->Path, false));
  if (note) note->fieldsUsed = next + (item->Mode == ModeReplace ? 1 : 2);
  return applies;
}

bool ParseCopyLine(const char* value, int32_t instMode, CopyItem* item,
                   CopyLineNote* note) {
  // Taken apart by position: "N," filters, "N:" names the disc. Neither ','
  // nor ':' can be the second byte of a double-byte character.
  CopyLineNote found = {'\0', '\0'};
  bool applies = true;
  if (value[0] != '\0' && value[1] == ',') {
    found.filter = value[0];
    applies = value[0] - '0' == instMode;
    value += 2;
  }
  item->DiskNumber = 0;
  if (value[0] != '\0' && value[1] == ':') {
    found.disk = value[0];
    item->DiskNumber = value[0] - '0';
    value += 2;
  }
  // The value comes from a read of kPathSize bytes, so the rest always fits.
  std::strncpy(item->Path, value, kPathSize - 1);
  item->Path[kPathSize - 1] = '\0';
  if (note) *note = found;
  return applies;
}

uint32_t ParseUnsigned32(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  uint64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + static_cast<uint64_t>(*text - '0');
    if (value > UINT32_MAX) return UINT32_MAX;
  }
  return negative ? 0u - static_cast<uint32_t>(value)
                  : static_cast<uint32_t>(value);
}

bool IsPlainUnsigned32(const char* text) {
  uint64_t value = 0;
  size_t digits = 0;
  for (; text[digits] >= '0' && text[digits] <= '9' && digits <= 10; ++digits) {
    value = value * 10 + static_cast<uint64_t>(text[digits] - '0');
  }
  return text[digits] == '\0' && digits >= 1 && digits <= 10 &&
         value <= UINT32_MAX;
}
