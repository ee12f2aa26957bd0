// The terminal user interface: message boxes and the wizard dialog drawn on
// stdout in UTF-8, answered with one key and Enter on stdin; the user
// interface in use.
#include <cstdio>
#include <cstring>

#include "core/ids.h"
#include "platform/posix/display.h"
#include "platform/posix/dialog.h"
#include "platform/posix/ui.h"
#include "platform/posix/window.h"

namespace {

// The first character of the next input line: '\n' for an empty line, EOF
// at the end of the input.
int ReadKey() {
  std::fflush(stdout);
  char line[256];
  if (!std::fgets(line, sizeof line, stdin)) return EOF;
  // Swallow the rest of an overlong line.
  while (!std::strchr(line, '\n') && std::fgets(line + 1, sizeof line - 1, stdin)) {
  }
  return static_cast<unsigned char>(line[0]);
}

int Lower(int key) { return (key >= 'A' && key <= 'Z') ? key - 'A' + 'a' : key; }

void PrintButton(PlatWindow dialog, int id, char key) {
  const bool enabled = PosixDialogControlEnabled(dialog, id);
  std::printf("  [%c] ", enabled ? key : '-');
  PrintSjis(stdout, PosixDialogControlText(dialog, id));
}

PlatAnswer TerminalMessageBox(void*, PlatWindow, const char* text,
                              const char* caption, PlatButtons buttons,
                              PlatIcon icon) {
  const bool withCancel = buttons == kPlatButtonsOkCancel;
  std::printf("\n== ");
  PrintSjis(stdout, caption);
  std::printf(" ==\n%s", icon == kPlatIconError ? "(x) " : "");
  PrintSjis(stdout, text);
  std::printf("\n");
  for (;;) {
    std::printf("  [o] OK");
    if (withCancel) {
      std::printf("  [c] ");
      PrintSjis(stdout, "キャンセル");
    }
    std::printf(" > ");
    const int key = Lower(ReadKey());
    if (key == EOF) {
      std::printf("\n");
      return withCancel ? kPlatIdCancel : kPlatIdOk;
    }
    if (key == 'o' || key == '\n') return kPlatIdOk;
    // Escape on a box with only OK is OK, as on Windows.
    if (key == 0x1B) return withCancel ? kPlatIdCancel : kPlatIdOk;
    if (key == 'c' && withCancel) return kPlatIdCancel;
  }
}

int TerminalDialogInput(void*, PlatWindow dialog) {
  std::printf("\n== ");
  PrintSjis(stdout, PosixDialogCaption(dialog));
  std::printf(" ==\n");
  PrintSjis(stdout, PosixDialogControlText(dialog, UPD_ID_INFO));
  std::printf("\n");
  // Screen order, left to right: Back, Next, Cancel.
  PrintButton(dialog, UPD_ID_BACK, 'b');
  PrintButton(dialog, UPD_ID_NEXT, 'n');
  PrintButton(dialog, UPD_ID_CANCEL, 'c');
  std::printf("\n  (Enter: default button, Esc: cancel) > ");
  switch (Lower(ReadKey())) {
    case EOF:
      std::printf("\n");
      return -1;
    case 'b':
      return UPD_ID_BACK;
    case 'n':
    case '\n':
      return UPD_ID_NEXT;
    case 'c':
      return UPD_ID_CANCEL;
    case 0x1B:
      return kPosixKeyEscape;
    default:
      return 0;  // no such control: nothing happens, the dialog is drawn again
  }
}

void TerminalShowInfo(void*, const char* text) {
  if (!*text) return;
  std::printf("  ... ");
  PrintSjis(stdout, text);
  std::printf("\n");
  std::fflush(stdout);
}

void TerminalBroughtToFront(void*, PlatWindow window) {
  std::fputs("[window brought to the front] ", stderr);
  PrintSjis(stderr, window->title);
  std::fputc('\n', stderr);
}

PosixUi gUi = {};
bool gUiSet = false;

}  // namespace

const PosixUi kPosixTerminalUi = {TerminalMessageBox, TerminalDialogInput,
                                  TerminalShowInfo, nullptr,
                                  TerminalBroughtToFront, nullptr,
                                  nullptr,                nullptr};

void PosixSetUi(const PosixUi* ui) {
  gUiSet = ui != nullptr;
  gUi = ui ? *ui : PosixUi{};
}

const PosixUi& PosixCurrentUi() { return gUiSet ? gUi : kPosixTerminalUi; }
