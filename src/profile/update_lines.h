// The line grammar of UPDATE.INI's [UPDATE] section: the UpdateFileNN and
// CopyFileNN lines and the number keys. The run and `updpack check` both
// take lines apart here; a parser's note tells a checker what the line's
// meaning left aside, so that no one works the grammar out a second time.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/state.h"

constexpr int kMaxListItems = 16;  // keys 00 to 15
constexpr char kUpdateFilePrefix[] = "UpdateFile";
constexpr char kCopyFilePrefix[] = "CopyFile";
// The room each kind of line is read with.
constexpr uint32_t kUpdateLineSize = kMessageSize;
constexpr uint32_t kCopyLineSize = kPathSize;

// The name of key `n` of a list ("UpdateFile07") into `key`.
void NumberedKeyName(char* key, size_t capacity, const char* prefix, int n);

// Walks the list `prefix` the way the run reads it: keys 00 to 15 in
// order, up to the first one that `read(key)` finds absent or empty, where
// the list ends. Returns how many keys it read.
template <typename Read>
int WalkList(const char* prefix, Read read) {
  for (int n = 0; n < kMaxListItems; ++n) {
    char key[32];
    NumberedKeyName(key, sizeof key, prefix, n);
    if (!read(key)) return n;
  }
  return kMaxListItems;
}

enum UpdateMode : int32_t {
  ModeReplace = 0,    // written whatever is there
  ModeUpdate = 1,     // "u": spared when the file there is newer
  ModeData = 2,       // "d": under DataPath, only where no readable file is
  ModeOverwrite = 3,  // "o": only where a file already is
};

// One UpdateFileNN line.
struct UpdateItem {
  int32_t Mode;
  char Path[kPathSize];
  int32_t NameOffset;  // where the entry name starts in Path
};

// What an UpdateFileNN line's meaning took of its fields: the filter digit,
// the mode letter and the path. Fields after those are ignored.
struct UpdateLineNote {
  int fieldsUsed;
};

// Takes one UpdateFileNN value apart into `item`, whether or not it applies.
// False when its InstMode filter excludes it on an installation of
// `instMode`.
bool ParseUpdateLine(const char* value, int32_t instMode, UpdateItem* item,
                     UpdateLineNote* note = nullptr);

// One CopyFileNN line.
struct CopyItem {
  int32_t DiskNumber;  // 0: no disc named; otherwise the character's code - '0'
  char Path[kPathSize];
};

// The characters a CopyFileNN line's positions gave: before "," (its
// filter) and before ":" (its disc); '\0' where the line has none.
struct CopyLineNote {
  char filter;
  char disk;
};

// Takes one CopyFileNN value apart into `item`, whether or not it applies.
// False when its InstMode filter excludes it.
bool ParseCopyLine(const char* value, int32_t instMode, CopyItem* item,
                   CopyLineNote* note = nullptr);

// Decimal text to an unsigned 32-bit count the way the target's strtoul
// reads it (RequiredDiskSpace, OverwriteOnly): blanks, a sign, digits; a
// negative number wraps, an overflow gives 0xFFFFFFFF, no digits give 0.
uint32_t ParseUnsigned32(const char* text);

// Whether `text` is nothing but 1 to 10 digits within range: a count that
// ParseUnsigned32 reads without any of its rules, for a checker.
bool IsPlainUnsigned32(const char* text);
