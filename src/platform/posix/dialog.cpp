// The wizard dialog host: the template's caption, info line and three
// buttons as state, a modal loop that feeds the dialog procedure the neutral
// messages, and the queries through which drivers read what it shows.
#include <cstdio>
#include <ctime>

#include "core/ids.h"
#include "platform/posix/dialog.h"
#include "platform/posix/ui.h"
#include "platform/posix/window.h"

namespace {

constexpr int kInfoId = UPD_ID_INFO;
constexpr int kCancelId = UPD_ID_CANCEL;

struct Control {
  int id;
  char text[1024];
  bool enabled;
};

struct Dialog {
  PlatWindowTag window;
  PlatDialogProc proc;
  Control controls[4];
  int focus;
  bool running;
  bool handling;  // a command is being handled: the run may take a while
  bool ended;
  intptr_t result;
  int progress;  // negative while the bar is hidden
};

// One dialog at a time, kept after it closes so that its last state can
// still be read.
Dialog gDialog;
PlatCursor gCursor = kPlatCursorArrow;

Dialog* AsDialog(PlatWindow window) {
  return window == &gDialog.window ? &gDialog : nullptr;
}

Control* FindControl(Dialog* dialog, int id) {
  if (!dialog) return nullptr;
  for (Control& control : dialog->controls)
    if (control.id == id) return &control;
  return nullptr;
}

// The template: ids, texts and tab order of the dialog resource.
void CreateDialog(PlatDialogProc proc) {
  gDialog = Dialog{};
  InitWindow(&gDialog.window, kWindowDialog, kDialogClass, "UPDATE");
  gDialog.proc = proc;
  gDialog.controls[0] = {UPD_ID_NEXT, "次へ", true};
  gDialog.controls[1] = {kCancelId, "中止", true};
  gDialog.controls[2] = {UPD_ID_BACK, "戻る", true};
  gDialog.controls[3] = {kInfoId, "Info", true};
  gDialog.progress = -1;
  gDialog.running = true;
}

// A press reaches the procedure as a click would: the cursor is set over
// the dialog first (the default arrow unless the procedure sets its own),
// then the command arrives. Disabled buttons and a closing dialog take no
// clicks; Escape is the dialog manager's cancel command and needs none.
void Press(Dialog* dialog, int input) {
  if (!dialog || !dialog->running || dialog->ended) return;
  int id = input;
  if (input == kPosixKeyEscape || input == kPosixKeyCloseBox) {
    id = kCancelId;
    if (input == kPosixKeyCloseBox && !FindControl(dialog, kCancelId)->enabled) return;
  } else {
    const Control* button = FindControl(dialog, input);
    if (!button || button->id == kInfoId || !button->enabled) return;
  }
  PlatWindow window = &dialog->window;
  if (!dialog->proc(window, kPlatMsgSetCursor, PlatCommand{0, 0})) {
    gCursor = kPlatCursorArrow;
  }
  const bool nested = dialog->handling;
  dialog->handling = true;
  dialog->proc(window, kPlatMsgCommand, PlatCommand{id, 0});
  dialog->handling = nested;
}

}  // namespace

intptr_t PlatRunDialog(PlatDialogProc proc) {
  if (gDialog.running) return -1;
  CreateDialog(proc);
  PlatWindow window = &gDialog.window;
  ListWindow(window);
  proc(window, kPlatMsgInit, PlatCommand{0, 0});
  while (!gDialog.ended) {
    const PosixUi& ui = PosixCurrentUi();
    const int input = ui.dialogInput(ui.ctx, window);
    if (input < 0) {
      gDialog.ended = true;
      gDialog.result = -1;
    } else {
      Press(&gDialog, input);
    }
  }
  UnlistWindow(window);
  gDialog.running = false;
  return gDialog.result;
}

void PlatEndDialog(PlatWindow dialog, intptr_t result) {
  if (Dialog* d = AsDialog(dialog)) {
    d->ended = true;
    d->result = result;
  }
}

void PlatSetWindowText(PlatWindow dialog, const char* text) {
  if (Dialog* d = AsDialog(dialog)) {
    std::snprintf(d->window.title, sizeof d->window.title, "%s", text);
    if (d->running) ListWindow(&d->window);
  }
}

void PlatSetControlText(PlatWindow dialog, int controlId, const char* text) {
  if (Control* control = FindControl(AsDialog(dialog), controlId)) {
    std::snprintf(control->text, sizeof control->text, "%s", text);
    // The dialog is drawn when it waits for a key; what the run reports in
    // between is shown as it comes.
    const PosixUi& ui = PosixCurrentUi();
    if (controlId == kInfoId && gDialog.handling && ui.showInfo)
      ui.showInfo(ui.ctx, text);
  }
}

void PlatEnableControl(PlatWindow dialog, int controlId, bool enable) {
  if (Control* control = FindControl(AsDialog(dialog), controlId)) control->enabled = enable;
}

void PlatFocusControl(PlatWindow dialog, int controlId) {
  Dialog* d = AsDialog(dialog);
  if (FindControl(d, controlId)) d->focus = controlId;
}

void PlatSetCursor(PlatCursor cursor) { gCursor = cursor; }

const char* PosixDialogCaption(PlatWindow dialog) {
  Dialog* d = AsDialog(dialog);
  return d ? d->window.title : nullptr;
}

const char* PosixDialogControlText(PlatWindow dialog, int controlId) {
  const Control* control = FindControl(AsDialog(dialog), controlId);
  return control ? control->text : nullptr;
}

bool PosixDialogControlEnabled(PlatWindow dialog, int controlId) {
  const Control* control = FindControl(AsDialog(dialog), controlId);
  return control && control->enabled;
}

int PosixDialogFocus(PlatWindow dialog) {
  Dialog* d = AsDialog(dialog);
  return d ? d->focus : 0;
}

PlatCursor PosixCurrentCursor() { return gCursor; }

void PosixDialogPress(PlatWindow dialog, int input) { Press(AsDialog(dialog), input); }

int PosixDialogProgress(PlatWindow dialog) {
  Dialog* d = AsDialog(dialog);
  return d ? d->progress : -1;
}

void PlatSetProgress(PlatWindow dialog, int permille) {
  Dialog* d = AsDialog(dialog);
  if (!d) return;
  d->progress = permille < 0 ? -1 : permille;
  const PosixUi& ui = PosixCurrentUi();
  if (ui.showProgress) ui.showProgress(ui.ctx, d->progress);
}

namespace {

struct Aside {
  void (*work)(void*);
  void* argument;
  bool done;  // under PlatLock
};

void RunAsideWork(void* argument) {
  auto* aside = static_cast<Aside*>(argument);
  aside->work(aside->argument);
  PlatLock();
  aside->done = true;
  PlatUnlock();
}

bool AsideDone(Aside* aside) {
  PlatLock();
  const bool done = aside->done;
  PlatUnlock();
  return done;
}

}  // namespace

// The user's presses come first, while the work is known to be under way;
// then this thread shows the progress until the work is done. The work's
// message boxes go to the user from its own thread: nothing else talks to
// the user meanwhile.
void PlatRunAside(PlatWindow dialog, void (*work)(void*), void (*tick)(void*),
                  void* argument) {
  const PosixUi& ui = PosixCurrentUi();
  if (ui.whileBusy) ui.whileBusy(ui.ctx, dialog);
  Aside aside{work, argument, false};
  PlatThread thread = PlatStartThread(RunAsideWork, &aside);
  if (!thread) {
    RunAsideWork(&aside);
  } else {
    while (!AsideDone(&aside)) {
      tick(argument);
      const timespec pause = {0, 20 * 1000 * 1000};
      nanosleep(&pause, nullptr);
    }
    PlatJoinThread(thread);
  }
  tick(argument);
}
