// Message boxes and other programs' top-level windows.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/shown_text.h"

namespace {
HWND Handle(PlatWindow window) { return reinterpret_cast<HWND>(window); }

// The class atom of every dialog box and message box.
constexpr WORD kDialogClass = 0x8002;
}  // namespace

int PlatMessageBox(PlatWindow owner, const char* text, const char* caption,
                   unsigned type) {
  const ShownText shownText(text);
  const ShownText shownCaption(caption);
  if (shownText.get() && shownCaption.get()) {
    return MessageBoxW(Handle(owner), shownText.get(), shownCaption.get(),
                       type);
  }
  return MessageBoxA(Handle(owner), text, caption, type);
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
