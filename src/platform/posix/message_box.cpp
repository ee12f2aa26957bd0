// Message boxes: listed in the window table while open (another updater
// finds them by caption), answered by the user interface in use.
#include "platform/posix/ui.h"
#include "platform/posix/window.h"

PlatAnswer PlatMessageBox(PlatWindow owner, const char* text,
                          const char* caption, PlatButtons buttons,
                          PlatIcon icon) {
  PlatWindowTag box;
  InitWindow(&box, kWindowMessageBox, kDialogClass, caption);
  ListWindow(&box);
  const PosixUi& ui = PosixCurrentUi();
  const PlatAnswer answer =
      ui.messageBox(ui.ctx, owner, text, box.title, buttons, icon);
  UnlistWindow(&box);
  return answer;
}
