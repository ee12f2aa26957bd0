// Test hooks of the POSIX platform layer: faults to inject, a scripted user
// interface instead of the terminal, and what the dialog shows right now.
// Nothing here is used by the updater itself.
#pragma once
#include <cstdint>

#include "platform/platform.h"

// ---- Volumes ----------------------------------------------------------------

// From now on every volume reports `bytes` free (for the caller and in total).
void PosixSetFreeBytes(uint64_t bytes);
// From now on every free-space query fails (true) or works again (false).
void PosixFailDiskQuery(bool fail);

// ---- Writes -----------------------------------------------------------------

// Lets `bytes` more bytes be written to files (whole-file writes and shell
// copies together); the write that would go past them fails, and so does
// every write after it, until the hooks are reset.
void PosixFailWritesAfter(uint64_t bytes);

// ---- User interface -----------------------------------------------------------

// Keys of the dialog manager a scripted user can press besides the buttons.
enum : int {
  kPosixKeyEscape = 0x10000,    // id 2 even while the Cancel button is disabled
  kPosixKeyCloseBox = 0x10001,  // id 2, unless the Cancel button is disabled
};

// A scripted user. `messageBox` answers a message box with kPlatIdOk or
// kPlatIdCancel. `dialogInput` returns the id of the button the user presses
// on the wizard dialog (a disabled one is ignored, as a disabled button
// cannot be pressed), a kPosixKey, or a negative number to abandon the
// dialog, which then ends with -1.
struct PosixUiDriver {
  int (*messageBox)(void* ctx, PlatWindow owner, const char* text, const char* caption,
                    unsigned type);
  int (*dialogInput)(void* ctx, PlatWindow dialog);
  void* ctx;
};

// Replaces the terminal with `driver` (copied, both callbacks set); null goes
// back to the terminal.
void PosixSetUiDriver(const PosixUiDriver* driver);

// What the dialog shows. Texts are Shift-JIS; null for an unknown control.
const char* PosixDialogCaption(PlatWindow dialog);
const char* PosixDialogControlText(PlatWindow dialog, int controlId);
bool PosixDialogControlEnabled(PlatWindow dialog, int controlId);
int PosixDialogFocus(PlatWindow dialog);  // control id, 0 for none
PlatCursor PosixCurrentCursor();

// Presses a button (or a kPosixKey) now, as a click while a message box or
// a copy runs its own loop would: the dialog procedure gets the set-cursor
// message and the command, unless the button is disabled.
void PosixDialogPress(PlatWindow dialog, int input);

// ---- Windows and copies ---------------------------------------------------------

// How often PlatBringToFront was called, and the class and title of the
// window it was last called for ("" before the first call).
int PosixBringToFrontCount();
const char* PosixLastFrontClass();
const char* PosixLastFrontTitle();

// The user stops the next shell copy after `files` files were copied.
void PosixAbortCopyAfter(int files);

// ---- All of them ------------------------------------------------------------------

// Back to no faults, the terminal, and counters at zero.
void PosixResetHooks();
