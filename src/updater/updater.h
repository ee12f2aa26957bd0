// The updater program: start-up and clean-up, the wizard dialog, the run.
#pragma once
#include <cstdint>

#include "core/sjis.h"
#include "platform/platform.h"
#include "profile/profile.h"
#include "profile/update_lines.h"
#include "updater/state.h"

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
int UpdateDialogProc(PlatWindow dialog, PlatDialogMessage message,
                     PlatCommand command);
void InitUpdateDialog(PlatWindow dialog);

// The update itself, called from the confirmation page.
void RunUpdate(PlatWindow dialog);

extern int32_t DialogPage;
extern int32_t DialogBusy;

// ---- Package files of the run ---------------------------------------------

extern UpdateItem UpdateItems[kMaxListItems];
extern int32_t UpdateItemCount;

// Rebuilds UpdateItems from UpdateFile00..15 of [UPDATE]. Returns whether
// the key UpdateFile00 exists, filtered out or not.
bool BuildUpdateItems();

// Fills `items` from the keys 00 to 15 of `prefix` of [UPDATE], read with
// `capacity`, up to the first absent one; a line that `parse` filters out
// for this installation is dropped and the next key is read all the same.
// Returns whether key 00 exists.
template <typename Item, typename Note>
bool BuildListItems(const char* prefix, uint32_t capacity,
                    bool (*parse)(const char*, int32_t, Item*, Note*),
                    Item* items, int32_t* count) {
  *count = 0;
  char value[kMessageSize];
  return WalkList(prefix, [&](const char* key) {
           if (!ReadProfileString("UPDATE", key, value, capacity)) return false;
           if (parse(value, InstallRecord.InstMode, &items[*count], nullptr)) ++*count;
           return true;
         }) > 0;
}

// ---- Media copies ------------------------------------------------------------

extern CopyItem CopyItems[kMaxListItems];
extern int32_t CopyItemCount;

// Rebuilds CopyItems from CopyFile00..15 of [UPDATE]. Returns whether the
// key CopyFile00 exists, filtered out or not.
bool BuildCopyItems();

// Copies the CopyItems from the game's discs. 1 when the run goes on, 0 when
// it has ended the dialog.
int CopyMedia(PlatWindow dialog);

// Back to the state at program start (for tests).
void ResetProgramState();
