// A scripted player for the updater: presses the dialog's buttons and
// answers message boxes from lists, and records everything it was shown.
#pragma once
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "posix_hooks.h"

// One message box as it was shown.
struct ShownBox {
  std::string text;
  std::string caption;
  PlatWindow owner;
  PlatButtons buttons;
  PlatIcon icon;
  PlatCursor cursor;  // the cursor over the dialog while the box was open
};

// The dialog as the player saw it whenever it waited for input.
struct ShownPage {
  std::string caption;
  std::string info;
  std::string nextLabel;
  bool backEnabled;
  bool nextEnabled;
  bool cancelEnabled;
  int focus;
  PlatCursor cursor;
};

class ScriptedUi {
 public:
  // Actions run in order, each returning the answer: the id of the control
  // to press for the dialog, kPlatIdOk or kPlatIdCancel for a box with two
  // buttons. A box with an OK button only is answered OK without using the
  // script.
  using Action = std::function<int()>;

  // The platform's user interface that plays this script.
  PosixUiDriver Driver();

  void Press(int controlId);
  void Press(Action action);
  void Answer(int button);
  void Answer(Action action);
  // Runs while the next OK-only box is open, given the box's owner: what
  // the player might do to the dialog meanwhile.
  void DuringNextErrorBox(std::function<void(PlatWindow)> action);
  // Runs while the package files are written aside, given the dialog.
  void WhileFilesAreWritten(std::function<void(PlatWindow)> action);

  const std::vector<ShownBox>& boxes() const { return boxes_; }
  const std::vector<ShownPage>& pages() const { return pages_; }
  // Every value the progress bar showed, in order; -1 for hidden.
  const std::vector<int>& progress() const { return progress_; }
  // Script entries the program never asked for.
  size_t unusedPresses() const { return presses_.size(); }
  size_t unusedAnswers() const { return answers_.size(); }

 private:
  static PlatAnswer OnMessageBox(void* ctx, PlatWindow owner, const char* text,
                                 const char* caption, PlatButtons buttons,
                                 PlatIcon icon);
  static int OnDialogInput(void* ctx, PlatWindow dialog);
  static void OnWhileBusy(void* ctx, PlatWindow dialog);
  static void OnProgress(void* ctx, int permille);

  std::deque<Action> presses_;
  std::deque<Action> answers_;
  std::function<void(PlatWindow)> duringErrorBox_;
  std::function<void(PlatWindow)> whileWritten_;
  std::vector<int> progress_;
  std::vector<ShownBox> boxes_;
  std::vector<ShownPage> pages_;
};
