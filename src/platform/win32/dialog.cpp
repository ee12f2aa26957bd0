// Hosts the wizard dialog: the template from the executable's resources and
// the window messages turned into the neutral ones the page logic knows.
#include <windows.h>

#include "core/ids.h"
#include "platform/platform.h"
#include "platform/win32/shown_text.h"

namespace {

PlatDialogProc pageProc;

HWND Handle(PlatWindow window) { return reinterpret_cast<HWND>(window); }

INT_PTR CALLBACK HostProc(HWND dialog, UINT message, WPARAM wParam,
                          LPARAM) {
  PlatWindow window = reinterpret_cast<PlatWindow>(dialog);
  switch (message) {
    case WM_INITDIALOG:
      return pageProc(window, kPlatMsgInit, PlatCommand{0, 0});
    case WM_COMMAND:
      return pageProc(window, kPlatMsgCommand,
                      PlatCommand{LOWORD(wParam), HIWORD(wParam)});
    case WM_SETCURSOR: {
      // A cursor set here must also stop the control under it from setting
      // its own: that answer goes back through the message result.
      const int handled =
          pageProc(window, kPlatMsgSetCursor, PlatCommand{0, 0});
      if (handled) SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
      return handled;
    }
    default:
      return FALSE;
  }
}

}  // namespace

intptr_t PlatRunDialog(PlatDialogProc proc) {
  pageProc = proc;
  // The template's texts are UTF-16; a dialog made by the ANSI call would
  // pass them through the system's code page, which cannot hold them on a
  // system that is not Japanese.
  return DialogBoxParamW(GetModuleHandleW(nullptr),
                         MAKEINTRESOURCEW(UPD_DIALOG_ID),
                         nullptr, HostProc, 0);
}

void PlatEndDialog(PlatWindow dialog, intptr_t result) {
  EndDialog(Handle(dialog), result);
}

void PlatSetWindowText(PlatWindow dialog, const char* text) {
  const ShownText shown(text);
  if (shown.get()) {
    SetWindowTextW(Handle(dialog), shown.get());
  } else {
    SetWindowTextA(Handle(dialog), text);
  }
}

void PlatSetControlText(PlatWindow dialog, int controlId, const char* text) {
  const ShownText shown(text);
  if (shown.get()) {
    SetDlgItemTextW(Handle(dialog), controlId, shown.get());
  } else {
    SetDlgItemTextA(Handle(dialog), controlId, text);
  }
}

void PlatEnableControl(PlatWindow dialog, int controlId, bool enable) {
  EnableWindow(GetDlgItem(Handle(dialog), controlId), enable);
}

void PlatFocusControl(PlatWindow dialog, int controlId) {
  SetFocus(GetDlgItem(Handle(dialog), controlId));
}

void PlatSetCursor(PlatCursor cursor) {
  SetCursor(LoadCursorA(nullptr, cursor == kPlatCursorWait ? IDC_WAIT
                                                            : IDC_ARROW));
}
