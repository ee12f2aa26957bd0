// The wizard dialog: start, confirmation, shortfall and completion pages.
#include "updater/updater.h"

int32_t DialogPage;
int32_t DialogBusy;

void InitUpdateDialog(PlatWindow dialog) {
  DialogBusy = 0;
  DialogPage = 0;
  DialogWindow = dialog;
  PlatSetWindowText(dialog, WindowCaption);
  SetInfoText(dialog, "「%s」のアップデートを開始します",
              UpdaterSettings.GameTitle);
  EnableControl(dialog, kIdBack, 0);
  EnableControl(dialog, kIdNext, 1);
  EnableControl(dialog, kIdCancel, 1);
}

// Next and Back. Back from the shortfall page lands on the confirmation
// page: the counter goes back two and the step moves it on one.
static void Step(PlatWindow dialog, int command) {
  // Message boxes and the run pump messages: a click meanwhile is dropped.
  if (DialogBusy == 1) return;
  DialogBusy = 1;
  SetInfoText(dialog, "");
  if (command == kIdBack) DialogPage -= 2;
  switch (DialogPage) {
    case 0:
      SetInfoText(dialog, "アップデートを実行します");
      EnableControl(dialog, kIdBack, 0);
      EnableControl(dialog, kIdNext, 1);
      EnableControl(dialog, kIdCancel, 1);
      break;
    case 1:
      RunUpdate(dialog);
      break;
    case 2:
      PlatEndDialog(dialog, 0);
      break;
    default:
      break;
  }
  ++DialogPage;
  DialogBusy = 0;
}

int UpdateDialogProc(PlatWindow dialog, PlatDialogMessage message,
                     PlatCommand command) {
  switch (message) {
    case kPlatMsgSetCursor:
      if (DialogBusy != 1) return 0;
      PlatSetCursor(kPlatCursorWait);
      return 1;
    case kPlatMsgInit:
      InitUpdateDialog(dialog);
      return 0;
    case kPlatMsgCommand:
      // A command with a notification code is no click.
      if (command.code != 0) return 0;
      if (command.id == kIdNext || command.id == kIdBack) {
        Step(dialog, command.id);
      } else if (command.id == kIdCancel && DialogBusy != 1) {
        PlatEndDialog(dialog, -1);
      }
      return 0;
    default:
      return 0;
  }
}
