// Message boxes and other programs' top-level windows.
#include <windows.h>

#include "platform/platform.h"

namespace {
HWND Handle(PlatWindow window) { return reinterpret_cast<HWND>(window); }

// The class of every dialog box and message box.
const char* const kDialogClass = MAKEINTATOM(0x8002);
}  // namespace

PlatAnswer PlatMessageBox(PlatWindow owner, const char* text,
                          const char* caption, PlatButtons buttons,
                          PlatIcon icon) {
  const UINT type = (buttons == kPlatButtonsOkCancel ? MB_OKCANCEL : MB_OK) |
                    (icon == kPlatIconError ? MB_ICONERROR : 0);
  return MessageBoxA(Handle(owner), text, caption, type) == IDOK
             ? kPlatIdOk
             : kPlatIdCancel;
}

PlatWindow PlatFindWindow(const char* className, const char* title) {
  return reinterpret_cast<PlatWindow>(
      FindWindowA(className ? className : kDialogClass, title));
}

void PlatBringToFront(PlatWindow window) {
  ShowWindow(Handle(window), SW_SHOW);
  SetForegroundWindow(Handle(window));
}
