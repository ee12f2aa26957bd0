// The drive table. With UPDATER_DRIVES set ("E=/path/one;F=/path/two") it is
// exactly that list; otherwise it is the mounted optical media, iso9660 and
// udf file systems in the order of /proc/self/mounts, lettered from D: up.
#include "platform/posix/drives.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool CopyText(const char* text, size_t length, char* out, size_t capacity) {
  if (length >= capacity) return false;
  std::memcpy(out, text, length);
  out[length] = '\0';
  return true;
}

bool LookUpInList(const char* list, char letter, char* folder, size_t capacity) {
  for (const char* entry = list; *entry;) {
    const char* end = std::strchr(entry, ';');
    if (!end) end = entry + std::strlen(entry);
    char c = entry[0];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (end - entry >= 3 && entry[1] == '=' && c >= 'A' && c <= 'Z') {
      if (c == letter) return CopyText(entry + 2, end - entry - 2, folder, capacity);
    } else if (end > entry) {
      std::fprintf(stderr, "UPDATER_DRIVES: ignoring \"%.*s\" (expected LETTER=FOLDER)\n",
                   static_cast<int>(end - entry), entry);
    }
    entry = *end ? end + 1 : end;
  }
  return false;
}

// Undoes the octal escapes (\040 for a blank, ...) of a mount point.
void Unescape(char* text) {
  char* out = text;
  for (const char* p = text; *p;) {
    if (p[0] == '\\' && p[1] >= '0' && p[1] <= '3' && p[2] >= '0' && p[2] <= '7' &&
        p[3] >= '0' && p[3] <= '7') {
      *out++ = static_cast<char>((p[1] - '0') * 64 + (p[2] - '0') * 8 + (p[3] - '0'));
      p += 4;
    } else {
      *out++ = *p++;
    }
  }
  *out = '\0';
}

}  // namespace

bool LookUpMountedDisc(const char* mountTable, char letter, char* folder, size_t capacity) {
  if (letter < 'D' || letter > 'Z') return false;
  FILE* mounts = std::fopen(mountTable, "r");
  if (!mounts) return false;
  int index = letter - 'D';
  bool found = false;
  char line[8192];
  while (std::fgets(line, sizeof line, mounts)) {
    char* save = nullptr;
    strtok_r(line, " ", &save);  // the device
    char* mountPoint = strtok_r(nullptr, " ", &save);
    char* type = strtok_r(nullptr, " ", &save);
    if (!mountPoint || !type) continue;
    if (std::strcmp(type, "iso9660") != 0 && std::strcmp(type, "udf") != 0) continue;
    if (index-- > 0) continue;
    Unescape(mountPoint);
    found = CopyText(mountPoint, std::strlen(mountPoint), folder, capacity);
    break;
  }
  std::fclose(mounts);
  return found;
}

bool LookUpDrive(char letter, char* folder, size_t capacity) {
  // Read afresh each time: a disc may be mounted while the updater waits.
  const char* list = std::getenv("UPDATER_DRIVES");
  if (list) return LookUpInList(list, letter, folder, capacity);
  return LookUpMountedDisc("/proc/self/mounts", letter, folder, capacity);
}
