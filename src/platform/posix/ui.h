// The user behind message boxes, the dialog and the shell copy: the
// terminal, unless another user interface is put in its place (a test's
// scripted user is one).
#pragma once
#include "platform/platform.h"

struct PosixUi {
  // Answers a message box.
  PlatAnswer (*messageBox)(void* ctx, PlatWindow owner, const char* text,
                           const char* caption, PlatButtons buttons,
                           PlatIcon icon);
  // The button the user presses on the wizard dialog (a disabled one is
  // ignored, as a disabled button cannot be pressed), a kPosixKey of
  // dialog.h, or a negative number to abandon the dialog (it ends with -1).
  int (*dialogInput)(void* ctx, PlatWindow dialog);
  // A new info text while the dialog handles a command; may be null.
  void (*showInfo)(void* ctx, const char* text);
  // Asked during a copy after `filesCopied` files: true stops it (the
  // shell's Cancel button); may be null. Ctrl-C stops a copy as well.
  bool (*stopCopy)(void* ctx, int filesCopied);
  // A window was brought to the front.
  void (*broughtToFront)(void* ctx, PlatWindow window);
  void* ctx;
  // What the user does while the dialog's work runs aside (the dialog
  // still takes presses then); may be null.
  void (*whileBusy)(void* ctx, PlatWindow dialog);
  // The progress bar was shown at `permille`, or hidden (negative); may be
  // null.
  void (*showProgress)(void* ctx, int permille);
};

// The terminal: texts in UTF-8 on stdout, one key and Enter on stdin (see
// README.md); windows brought forward are told on stderr.
extern const PosixUi kPosixTerminalUi;

// Puts `ui` (copied) in the terminal's place; null goes back to the terminal.
void PosixSetUi(const PosixUi* ui);

// The user interface in use.
const PosixUi& PosixCurrentUi();
