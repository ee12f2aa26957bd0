// The updater program: start-up and clean-up, the wizard dialog, the run.
#pragma once
#include <cstdint>

#include "base/state.h"
#include "core/sjis.h"
#include "platform/platform.h"

// The program after the runtime's start-up; returns the exit code: 1 after a
// finished update, 0 on every other way out.
int UpdaterMain();

// Frees the directory and deletes the temporary UPDATE.INI.
void ShutdownCleanup();

// UpdateMessage with each backslash-n turned into a lone CR, copied character
// by character so that a second byte 0x5C never starts an escape. `dest`
// needs the room of the source, which it never outgrows.
void ConvertMessageEscapes(char* dest, const char* source);

// The wizard dialog procedure and its initialisation.
int UpdateDialogProc(PlatWindow dialog, unsigned message, uintptr_t wParam,
                     intptr_t lParam);
void InitUpdateDialog(PlatWindow dialog);

// The update itself, called from the confirmation page.
void RunUpdate(PlatWindow dialog);

extern int32_t DialogPage;
extern int32_t DialogBusy;

// ---- Package files of the run ---------------------------------------------

enum UpdateMode : int32_t {
  ModeReplace = 0,    // written whatever is there
  ModeUpdate = 1,     // "u": spared when the file there is newer
  ModeData = 2,       // "d": under DataPath, only where no readable file is
  ModeOverwrite = 3,  // "o": only where a file already is
};

// One applicable UpdateFileNN line.
struct UpdateItem {
  int32_t Mode;
  char Path[kPathSize];
  int32_t NameOffset;  // where the entry name starts in Path
};

constexpr int kMaxListItems = 16;  // keys 00 to 15
extern UpdateItem UpdateItems[kMaxListItems];
extern int32_t UpdateItemCount;

// Takes one UpdateFileNN value apart. False when its InstMode filter
// excludes it on an installation of `instMode`.
bool ParseUpdateLine(const char* value, int32_t instMode, UpdateItem* item);

// Decimal text to an unsigned 32-bit count the way the target's strtoul
// reads it (RequiredDiskSpace): blanks, a sign, digits; a negative number
// wraps, an overflow gives 0xFFFFFFFF, no digits give 0.
uint32_t ParseUnsigned32(const char* text);

// Rebuilds UpdateItems from UpdateFile00..15 of [UPDATE]. Returns whether
// the key UpdateFile00 exists, filtered out or not.
bool BuildUpdateItems();

// Reads key `n` of [UPDATE], named with `keyFormat` ("UpdateFile%02i"), with
// `capacity` (at most kMessageSize). False when it is absent or empty.
bool ReadNumberedKey(const char* keyFormat, int n, char* value,
                     uint32_t capacity);

// Fills `items` from the keys 00 to 15 of `keyFormat` up to the first absent
// one; a line that `parse` filters out is dropped and the next key is read
// all the same. Returns whether key 00 exists.
template <typename Item>
bool BuildListItems(const char* keyFormat, uint32_t capacity,
                    bool (*parse)(const char*, int32_t, Item*), Item* items,
                    int32_t* count) {
  *count = 0;
  char value[kMessageSize];
  for (int n = 0; n < kMaxListItems; ++n) {
    if (!ReadNumberedKey(keyFormat, n, value, capacity)) return n > 0;
    if (parse(value, InstallRecord.InstMode, &items[*count])) ++*count;
  }
  return true;
}

// ---- Media copies ------------------------------------------------------------

// One applicable CopyFileNN line.
struct CopyItem {
  int32_t DiskNumber;  // 0: no disc named; otherwise the character's code - '0'
  char Path[kPathSize];
};

extern CopyItem CopyItems[kMaxListItems];
extern int32_t CopyItemCount;

// Takes one CopyFileNN value apart. False when its InstMode filter excludes it.
bool ParseCopyLine(const char* value, int32_t instMode, CopyItem* item);

// Rebuilds CopyItems from CopyFile00..15 of [UPDATE]. Returns whether the
// key CopyFile00 exists, filtered out or not.
bool BuildCopyItems();

// Copies the CopyItems from the game's discs. 1 when the run goes on, 0 when
// it has ended the dialog.
int CopyMedia(PlatWindow dialog);

// Back to the state at program start (for tests).
void ResetProgramState();
