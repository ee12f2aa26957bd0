// Message boxes and other programs' top-level windows.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/dialog_host.h"
#include "platform/win32/shown_text.h"

namespace {
HWND Handle(PlatWindow window) { return reinterpret_cast<HWND>(window); }

// The class atom of every dialog box and message box.
constexpr WORD kDialogClass = 0x8002;
}  // namespace

PlatAnswer PlatMessageBox(PlatWindow owner, const char* text,
                          const char* caption, PlatButtons buttons,
                          PlatIcon icon) {
  HWND ownerWindow = Handle(owner);
  if (ownerWindow && GetWindowThreadProcessId(ownerWindow, nullptr) != GetCurrentThreadId()) {
    // Asked by the work aside: the dialog's thread shows it.
    BoxRequest request{text, caption, buttons, icon, kPlatIdCancel};
    SendMessageW(ownerWindow, kMsgShowBox, 0, reinterpret_cast<LPARAM>(&request));
    return request.answer;
  }
  const UINT type = (buttons == kPlatButtonsOkCancel ? MB_OKCANCEL : MB_OK) |
                    (icon == kPlatIconError ? MB_ICONERROR : 0);
  const ShownText shownText(text);
  const ShownText shownCaption(caption);
  const int answer =
      shownText.get() && shownCaption.get()
          ? MessageBoxW(Handle(owner), shownText.get(), shownCaption.get(), type)
          : MessageBoxA(Handle(owner), text, caption, type);
  return answer == IDOK ? kPlatIdOk : kPlatIdCancel;
}

PlatWindow PlatFindWindow(const char* className, const char* title) {
  HWND found = nullptr;
  if (className) {
    // Another program's window, titled in the system's code page: the same
    // bytes through the ANSI call match it.
    found = FindWindowA(className, title);
  } else {
    // A dialog or message box of ours, titled as PlatSetWindowText and
    // PlatMessageBox show it.
    const ShownText shown(title);
    found = shown.get()
                ? FindWindowW(MAKEINTRESOURCEW(kDialogClass), shown.get())
                : FindWindowA(MAKEINTRESOURCEA(kDialogClass), title);
  }
  return reinterpret_cast<PlatWindow>(found);
}

void PlatBringToFront(PlatWindow window) {
  ShowWindow(Handle(window), SW_SHOW);
  SetForegroundWindow(Handle(window));
}
