// The POSIX dialog host, message boxes and window table, driven by a
// scripted user, and the terminal rendering of both.
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "posix_test_folder.h"

namespace {

// Records what the dialog procedure receives and lets each test decide what
// it does.
struct Script {
  std::deque<int> inputs;                // answers of dialogInput; -1 when empty
  std::function<void(PlatWindow)> onBox;  // runs inside a message box, given its owner
  std::vector<std::string> log;
  PlatAnswer boxAnswer = kPlatIdOk;
};
Script* gScript = nullptr;

PlatAnswer ScriptBox(void*, PlatWindow owner, const char* text, const char* caption,
                     PlatButtons buttons, PlatIcon) {
  gScript->log.push_back("box " + std::string(caption) + ": " + text + " " +
                         std::to_string(buttons));
  if (gScript->onBox) gScript->onBox(owner);
  return gScript->boxAnswer;
}

int ScriptInput(void*, PlatWindow) {
  if (gScript->inputs.empty()) return -1;
  const int input = gScript->inputs.front();
  gScript->inputs.pop_front();
  return input;
}

// A small procedure: Back off at start; Next ends with 0; Cancel ends with
// -1; button 4 shows a box (the nested loop); the cursor is the wait cursor
// while that box is open.
bool gBusy = false;
int Procedure(PlatWindow dialog, PlatDialogMessage message, PlatCommand command) {
  switch (message) {
    case kPlatMsgInit:
      gScript->log.push_back("init " + std::string(PosixDialogCaption(dialog)));
      PlatSetWindowText(dialog, "Caption");
      PlatEnableControl(dialog, 4, false);
      return 0;
    case kPlatMsgSetCursor:
      gScript->log.push_back("cursor");
      if (!gBusy) return 0;
      PlatSetCursor(kPlatCursorWait);
      return 1;
    case kPlatMsgCommand:
      gScript->log.push_back("command " + std::to_string(command.id));
      if (gBusy) return 0;
      if (command.id == 1) PlatEndDialog(dialog, 0);
      if (command.id == 2) PlatEndDialog(dialog, -1);
      if (command.id == 4) {
        gBusy = true;
        PlatMessageBox(dialog, "busy", "Box", kPlatButtonsOk, kPlatIconNone);
        gBusy = false;
      }
      return 0;
  }
  return 0;
}

class PosixUi : public PosixFolderTest {
 protected:
  void SetUp() override {
    PosixFolderTest::SetUp();
    gScript = &script_;
    gBusy = false;
    const PosixUiDriver driver{ScriptBox, ScriptInput, nullptr};
    PosixSetUiDriver(&driver);
  }
  void TearDown() override {
    gScript = nullptr;
    PosixFolderTest::TearDown();
  }
  Script script_;
};

TEST_F(PosixUi, DialogStartsFromTheTemplateAndIgnoresDisabledButtons) {
  std::vector<std::string> states;
  script_.inputs = {4, 1001, 99};
  script_.onBox = nullptr;
  // Read the dialog's state when it first asks for input.
  PosixUiDriver driver{ScriptBox,
                       [](void* ctx, PlatWindow dialog) {
                         auto* seen = static_cast<std::vector<std::string>*>(ctx);
                         if (seen->empty()) {
                           seen->push_back(PosixDialogCaption(dialog));
                           seen->push_back(PosixDialogControlText(dialog, 1001));
                           for (int id : {4, 1, 2})
                             seen->push_back(std::string(PosixDialogControlText(dialog, id)) +
                                             (PosixDialogControlEnabled(dialog, id) ? "+" : "-"));
                           // The table lists the dialog under its caption.
                           seen->push_back(PlatFindWindow(nullptr, "caption") ? "listed" : "unlisted");
                         }
                         return ScriptInput(nullptr, dialog);
                       },
                       &states};
  PosixSetUiDriver(&driver);
  EXPECT_EQ(PlatRunDialog(Procedure), -1);  // the script ran out: abandoned
  EXPECT_EQ(script_.log, std::vector<std::string>{"init UPDATE"});
  EXPECT_EQ(states, (std::vector<std::string>{"Caption", "Info", "戻る-", "次へ+", "中止+", "listed"}));
  EXPECT_EQ(PlatFindWindow(nullptr, "Caption"), nullptr);
}

TEST_F(PosixUi, CommandsArriveAfterTheCursorAndEndTheDialog) {
  script_.inputs = {1};
  EXPECT_EQ(PlatRunDialog(Procedure), 0);
  EXPECT_EQ(script_.log, (std::vector<std::string>{"init UPDATE", "cursor", "command 1"}));
  EXPECT_EQ(PosixCurrentCursor(), kPlatCursorArrow);
}

TEST_F(PosixUi, PressesDuringANestedLoopReachTheProcedure) {
  // Back is enabled for this run; inside its box the user clicks Cancel.
  script_.inputs = {4, 2};
  bool listed = false;
  script_.onBox = [&](PlatWindow owner) {
    listed = PlatFindWindow(nullptr, "Box") != nullptr;
    PosixDialogPress(owner, 2);
  };
  auto procedure = [](PlatWindow dialog, PlatDialogMessage message, PlatCommand command) {
    const int result = Procedure(dialog, message, command);
    if (message == kPlatMsgInit) PlatEnableControl(dialog, 4, true);
    return result;
  };
  EXPECT_EQ(PlatRunDialog(procedure), -1);
  EXPECT_TRUE(listed);  // the box, in the table while open
  EXPECT_EQ(PlatFindWindow(nullptr, "Box"), nullptr);
  // The click inside the box came while busy: the procedure saw it with the
  // wait cursor kept, and ignored it; the second Cancel ended the dialog.
  EXPECT_EQ(script_.log,
            (std::vector<std::string>{"init UPDATE", "cursor", "command 4", "box Box: busy 0",
                                      "cursor", "command 2", "cursor", "command 2"}));
}

TEST_F(PosixUi, EscapeCancelsEvenWhenCancelIsDisabledButTheCloseBoxDoesNot) {
  auto procedure = [](PlatWindow dialog, PlatDialogMessage message, PlatCommand command) {
    const int result = Procedure(dialog, message, command);
    if (message == kPlatMsgInit) PlatEnableControl(dialog, 2, false);
    return result;
  };
  script_.inputs = {2, kPosixKeyCloseBox, kPosixKeyEscape};
  EXPECT_EQ(PlatRunDialog(procedure), -1);
  EXPECT_EQ(script_.log, (std::vector<std::string>{"init UPDATE", "cursor", "command 2"}));
  EXPECT_TRUE(script_.inputs.empty());
}

TEST_F(PosixUi, WindowTableFindsOtherProcessesWindows) {
  Put("windows/game", "GameWnd\nゲーム Title\n");
  Put("windows/999999999-1", "#32770\nStale\n");  // its process is gone
  PlatWindow game = PlatFindWindow("gamewnd", "ゲーム TITLE");
  ASSERT_NE(game, nullptr);
  EXPECT_EQ(PlatFindWindow("GameWnd", "Other"), nullptr);
  EXPECT_EQ(PlatFindWindow(nullptr, "ゲーム Title"), nullptr);
  PlatBringToFront(game);
  EXPECT_EQ(PosixBringToFrontCount(), 1);
  EXPECT_STREQ(PosixLastFrontClass(), "GameWnd");
  EXPECT_STREQ(PosixLastFrontTitle(), "ゲーム Title");
  EXPECT_EQ(PlatFindWindow(nullptr, "Stale"), nullptr);
  EXPECT_EQ(CountEntries("windows"), 1);  // the stale entry was cleared away
}

// The terminal: stdin and stdout swapped for memory streams.
class PosixTerminal : public PosixFolderTest {
 protected:
  std::string Run(const std::string& input, const std::function<void()>& body) {
    FILE* savedIn = stdin;
    FILE* savedOut = stdout;
    char* output = nullptr;
    size_t outputSize = 0;
    stdin = fmemopen(const_cast<char*>(input.data()), input.size(), "r");
    stdout = open_memstream(&output, &outputSize);
    body();
    std::fclose(stdin);
    std::fclose(stdout);
    stdin = savedIn;
    stdout = savedOut;
    std::string text(output, outputSize);
    std::free(output);
    return text;
  }
};

TEST_F(PosixTerminal, MessageBoxesShowUtf8AndTakeOneKey) {
  PlatAnswer answer = kPlatIdOk;
  const std::string shown = Run("x\nc\n", [&] {
    answer = PlatMessageBox(nullptr, "一行目\r二行目", "キャプション", kPlatButtonsOkCancel,
                            kPlatIconNone);
  });
  EXPECT_EQ(answer, kPlatIdCancel);
  EXPECT_NE(shown.find("== \xe3\x82\xad\xe3\x83\xa3\xe3\x83\x97\xe3\x82\xb7\xe3\x83\xa7\xe3\x83\xb3 =="),
            std::string::npos);  // キャプション in UTF-8
  EXPECT_NE(shown.find("\xe4\xb8\x80\xe8\xa1\x8c\xe7\x9b\xae\n\xe4\xba\x8c"), std::string::npos);
  Run("", [&] { answer = PlatMessageBox(nullptr, "t", "c", kPlatButtonsOkCancel, kPlatIconNone); });
  EXPECT_EQ(answer, kPlatIdCancel);
  Run("\n", [&] { answer = PlatMessageBox(nullptr, "t", "c", kPlatButtonsOk, kPlatIconError); });
  EXPECT_EQ(answer, kPlatIdOk);
}

TEST_F(PosixTerminal, DialogDrawsButtonsInScreenOrderAndReadsKeys) {
  Script script;
  gScript = &script;
  gBusy = false;
  intptr_t result = 0;
  const std::string shown = Run("b\nq\n\n", [&] { result = PlatRunDialog(Procedure); });
  gScript = nullptr;
  EXPECT_EQ(result, 0);  // b is disabled, q is no key, Enter is Next
  EXPECT_EQ(script.log, (std::vector<std::string>{"init UPDATE", "cursor", "command 1"}));
  // 戻る (disabled) 次へ 中止, left to right.
  EXPECT_NE(shown.find("[-] \xe6\x88\xbb\xe3\x82\x8b  [n] \xe6\xac\xa1\xe3\x81\xb8  [c] \xe4\xb8\xad\xe6\xad\xa2"),
            std::string::npos)
      << shown;
}

}  // namespace
