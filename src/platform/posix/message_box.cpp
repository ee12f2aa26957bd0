// Message boxes: listed in the window table while open (another updater
// finds them by caption), answered by the scripted driver or the terminal.
#include "platform/posix/hook_state.h"
#include "platform/posix/ui.h"
#include "platform/posix/window.h"

int PlatMessageBox(PlatWindow owner, const char* text, const char* caption, unsigned type) {
  PlatWindowTag box;
  InitWindow(&box, kWindowMessageBox, kDialogClass, caption);
  ListWindow(&box);
  const PosixUiDriver& driver = gPosixHooks.driver;
  const int answer = gPosixHooks.driverSet
                         ? driver.messageBox(driver.ctx, owner, text, box.title, type)
                         : TerminalMessageBox(text, box.title, type);
  UnlistWindow(&box);
  return answer;
}
