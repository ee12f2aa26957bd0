// What tests do to the POSIX platform layer from outside it: faults put into
// its system-call table, a scripted user in place of the terminal, and what
// that user saw. Nothing here is linked into the updater.
#pragma once
#include <cstdint>

#include "platform/platform.h"
#include "platform/posix/dialog.h"

// ---- Faults -------------------------------------------------------------------

// From now on every volume reports `bytes` free (for the caller and in total).
void PosixSetFreeBytes(uint64_t bytes);
// From now on every free-space query fails (true) or works again (false).
void PosixFailDiskQuery(bool fail);
// Lets `bytes` more bytes be written to files (whole-file writes and copies
// together; the window table is not counted); the write that would go past
// them fails as on a full disk, and so does every write after it, until the
// hooks are reset.
void PosixFailWritesAfter(uint64_t bytes);

// Lets files be read at offsets (the old files of patches) for `bytes` more
// bytes; the read that would go past them fails as on a bad sector.
void PosixFailReadsAfter(uint64_t bytes);

// ---- The scripted user ----------------------------------------------------------

// `messageBox` answers a message box; `dialogInput` returns the id of the
// button the user presses on the wizard dialog, a kPosixKey, or a negative
// number to abandon the dialog.
struct PosixUiDriver {
  PlatAnswer (*messageBox)(void* ctx, PlatWindow owner, const char* text,
                           const char* caption, PlatButtons buttons,
                           PlatIcon icon);
  int (*dialogInput)(void* ctx, PlatWindow dialog);
  void* ctx;
  // Optional: what the user does while the dialog's work runs aside, and
  // each value the progress bar shows (negative: hidden).
  void (*whileBusy)(void* ctx, PlatWindow dialog) = nullptr;
  void (*showProgress)(void* ctx, int permille) = nullptr;
};

// Replaces the terminal with `driver` (copied, both callbacks set); null goes
// back to the terminal.
void PosixSetUiDriver(const PosixUiDriver* driver);

// The user stops the next shell copy after `files` files were copied.
void PosixAbortCopyAfter(int files);

// How often a window was brought to the front, and the class and title of
// the last one ("" before the first).
int PosixBringToFrontCount();
const char* PosixLastFrontClass();
const char* PosixLastFrontTitle();

// Back to no faults, the terminal, and counters at zero.
void PosixResetHooks();
