// dialog_demo: a small stand-in for the updater that runs the wizard dialog
// through the platform layer with the updater's own dialog resource, so the
// dialog host, the message boxes and the automation tool can be tested
// before and apart from the real program.
//
// Start page: Back disabled. Next shows an OK/Cancel box with a stop icon
// owned by the dialog; OK turns Next into "完了" with the focus and enables
// Back. Back ends the dialog with 0 (exit code 1); Cancel ends it with -1,
// which shows an ownerless box (exit code 0). A second copy finds the first
// by its caption, brings it forward and exits with 3.
#include "platform/platform.h"

namespace {

const char kCaption[] = "デモ アップデータ 1.00";
bool busy;

int DemoProc(PlatWindow dialog, PlatDialogMessage message, PlatCommand command) {
  switch (message) {
    case kPlatMsgInit:
      PlatSetWindowText(dialog, kCaption);
      PlatSetControlText(dialog, 1001, "「デモ」のアップデートを開始します");
      PlatEnableControl(dialog, 4, false);
      PlatEnableControl(dialog, 1, true);
      PlatEnableControl(dialog, 2, true);
      return 0;
    case kPlatMsgSetCursor:
      if (!busy) return 0;
      PlatSetCursor(kPlatCursorWait);
      return 1;
    case kPlatMsgCommand:
      if (busy) return 0;
      if (command.code != 0) return 0;
      if (command.id == 1) {
        busy = true;
        PlatSetControlText(dialog, 1001, "");
        const PlatAnswer answer = PlatMessageBox(dialog, "一行目\r二行目 ソ",
                                          kCaption,
                                          kPlatButtonsOkCancel, kPlatIconError);
        if (answer == kPlatIdOk) {
          PlatSetControlText(dialog, 1001, "OK");
          PlatEnableControl(dialog, 4, true);
          PlatSetControlText(dialog, 1, "完了");
          PlatFocusControl(dialog, 1);
        } else {
          PlatSetControlText(dialog, 1001, "キャンセル");
        }
        busy = false;
      } else if (command.id == 4) {
        PlatEndDialog(dialog, 0);
      } else if (command.id == 2) {
        PlatEndDialog(dialog, -1);
      }
      return 0;
    default:
      return 0;
  }
}

}  // namespace

int main() {
  PlatInitialize();
  if (PlatWindow first = PlatFindWindow(nullptr, kCaption)) {
    PlatBringToFront(first);
    return 3;
  }
  const intptr_t result = PlatRunDialog(DemoProc);
  if (result != 0) {
    PlatMessageBox(nullptr, "中断しました", kCaption, kPlatButtonsOk, kPlatIconError);
    return 0;
  }
  return 1;
}
