// Hosts the wizard dialog: the template from the executable's resources and
// the window messages turned into the neutral ones the page logic knows.
#include <windows.h>
#include <commctrl.h>

#include "core/ids.h"
#include "platform/platform.h"
#include "platform/win32/dialog_host.h"
#include "platform/win32/shown_text.h"

namespace {

PlatDialogProc pageProc;

// How often the work's progress is shown while it runs.
constexpr DWORD kTickMs = 50;

HWND Handle(PlatWindow window) { return reinterpret_cast<HWND>(window); }

INT_PTR CALLBACK HostProc(HWND dialog, UINT message, WPARAM wParam,
                          LPARAM lParam) {
  PlatWindow window = reinterpret_cast<PlatWindow>(dialog);
  switch (message) {
    case WM_INITDIALOG:
      return pageProc(window, kPlatMsgInit, PlatCommand{0, 0});
    case WM_COMMAND:
      return pageProc(window, kPlatMsgCommand,
                      PlatCommand{LOWORD(wParam), HIWORD(wParam)});
    case kMsgShowBox: {
      // A box the work aside asked for, shown on this thread.
      auto* request = reinterpret_cast<BoxRequest*>(lParam);
      request->answer = PlatMessageBox(window, request->text, request->caption,
                                       request->buttons, request->icon);
      return TRUE;
    }
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

struct Aside {
  void (*work)(void*);
  void* argument;
};

DWORD WINAPI RunAsideWork(void* aside) {
  auto* self = static_cast<Aside*>(aside);
  self->work(self->argument);
  return 0;
}

// The template's progress bar is a common control. Their library is not one
// the system always takes from its own folder, so it is loaded by name only
// now, when the search has been limited to that folder (an import would be
// looked for beside the executable first).
void RegisterProgressBar() {
  typedef BOOL(WINAPI * InitProc)(const INITCOMMONCONTROLSEX*);
  HMODULE library = LoadLibraryA("comctl32.dll");
  auto init = library ? reinterpret_cast<InitProc>(reinterpret_cast<void*>(
                            GetProcAddress(library, "InitCommonControlsEx")))
                      : nullptr;
  const INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  if (init) init(&controls);
}

}  // namespace

intptr_t PlatRunDialog(PlatDialogProc proc) {
  pageProc = proc;
  RegisterProgressBar();
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

void PlatSetProgress(PlatWindow dialog, int permille) {
  HWND bar = GetDlgItem(Handle(dialog), UPD_ID_PROGRESS);
  if (permille < 0) {
    ShowWindow(bar, SW_HIDE);
    return;
  }
  SendMessageW(bar, PBM_SETRANGE32, 0, 1000);
  SendMessageW(bar, PBM_SETPOS, WPARAM(permille), 0);
  ShowWindow(bar, SW_SHOWNA);
}

void PlatRunAside(PlatWindow dialog, void (*work)(void*), void (*tick)(void*),
                  void* argument) {
  Aside aside{work, argument};
  HANDLE thread = CreateThread(nullptr, 0, RunAsideWork, &aside, 0, nullptr);
  if (!thread) {
    // No thread to be had: the work runs here, as a busy dialog would.
    work(argument);
    tick(argument);
    return;
  }
  HWND window = Handle(dialog);
  bool quit = false;
  WPARAM quitCode = 0;
  DWORD lastTick = GetTickCount();
  while (MsgWaitForMultipleObjects(1, &thread, FALSE, kTickMs, QS_ALLINPUT) !=
         WAIT_OBJECT_0) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        // Not ours to act on while the work runs: passed on afterwards.
        quit = true;
        quitCode = message.wParam;
      } else if (!IsDialogMessageW(window, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
    if (GetTickCount() - lastTick >= kTickMs) {
      tick(argument);
      lastTick = GetTickCount();
    }
  }
  CloseHandle(thread);
  tick(argument);
  if (quit) PostQuitMessage(int(quitCode));
}
