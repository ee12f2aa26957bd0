// The wizard dialog host: what the dialog shows right now, and presses from
// outside its loop. The terminal reads these to draw the dialog, and so can
// any other user interface.
#pragma once
#include "platform/platform.h"

// Keys of the dialog manager a user can press besides the buttons.
enum : int {
  kPosixKeyEscape = 0x10000,    // id 2 even while the Cancel button is disabled
  kPosixKeyCloseBox = 0x10001,  // id 2, unless the Cancel button is disabled
};

// What the dialog shows. Texts are Shift-JIS; null for an unknown control.
const char* PosixDialogCaption(PlatWindow dialog);
const char* PosixDialogControlText(PlatWindow dialog, int controlId);
bool PosixDialogControlEnabled(PlatWindow dialog, int controlId);
int PosixDialogFocus(PlatWindow dialog);  // control id, 0 for none
int PosixDialogProgress(PlatWindow dialog);  // thousandths; negative: hidden
PlatCursor PosixCurrentCursor();

// Presses a button (or a kPosixKey) now, as a click while a message box or
// a copy runs its own loop would: the dialog procedure gets the set-cursor
// message and the command, unless the button is disabled.
void PosixDialogPress(PlatWindow dialog, int input);
