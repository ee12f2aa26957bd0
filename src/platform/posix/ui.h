// The user interface behind message boxes and the dialog: the scripted
// driver of posix_hooks.h when one is set, the terminal otherwise.
#pragma once
#include "platform/platform.h"

// Terminal message box: the text, the caption and the buttons on stdout,
// the answer from stdin (o = OK, c = Cancel). At the end of the input it
// answers Cancel, or OK when that is the only button.
int TerminalMessageBox(const char* text, const char* caption, unsigned type);

// Terminal dialog: draws the dialog and reads one key from stdin (b, n, c,
// Enter for the default button Next, Escape). Returns a button id, a
// kPosixKey, or -1 at the end of the input.
int TerminalDialogInput(PlatWindow dialog);

// Shows a new info text of the dialog while it handles a command.
void TerminalShowInfo(const char* text);
