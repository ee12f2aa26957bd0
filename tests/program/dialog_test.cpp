// The wizard: its pages, Cancel, the shortfall page with Back, and the
// guard against clicks while a step is busy.
#include "posix_hooks.h"
#include "program_fixture.h"
#include "updater/updater.h"

#include <algorithm>

namespace {

constexpr char kStartText[] = "「Example Story」のアップデートを開始します";
constexpr char kConfirmText[] = "アップデートを実行します";
constexpr char kDoneText[] = "アップデートは完了しました";
constexpr char kInterrupted[] = "アップデートが中断されました";

class DialogTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    UseStandardGame("RequiredDiskSpace=1000\r\nUpdateFile00=Readme.txt\r\n");
    AddPackageFile("Readme.txt", "new readme");
  }
};

TEST_F(DialogTest, CancelOnTheStartPageWritesNothing) {
  ui_.Press(kIdCancel);
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.pages().size(), 1u);
  const ShownPage& start = ui_.pages()[0];
  EXPECT_EQ(start.caption, kCaption);
  EXPECT_EQ(start.info, kStartText);
  EXPECT_EQ(start.nextLabel, "次へ");
  EXPECT_FALSE(start.backEnabled);
  EXPECT_TRUE(start.nextEnabled);
  EXPECT_TRUE(start.cancelEnabled);
  // The dialog is gone when the interruption is reported.
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].text, kInterrupted);
  EXPECT_EQ(ui_.boxes()[0].caption, kCaption);
  EXPECT_EQ(ui_.boxes()[0].owner, nullptr);
  EXPECT_FALSE(std::filesystem::exists(Installed("Readme.txt")));
  EXPECT_FALSE(TemporaryFilesLeft());
}

TEST_F(DialogTest, CloseBoxOnTheConfirmationPageActsAsCancel) {
  ui_.Press(kIdNext);
  ui_.Press(kPosixKeyCloseBox);
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.pages().size(), 2u);
  EXPECT_EQ(ui_.pages()[1].info, kConfirmText);
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].text, kInterrupted);
  EXPECT_FALSE(std::filesystem::exists(Installed("Readme.txt")));
}

TEST_F(DialogTest, FinishedUpdateEndsWithExitCodeOne) {
  PosixSetFreeBytes(1000);  // exactly enough
  PressNext(3);
  EXPECT_EQ(RunUpdater(), 1);
  ASSERT_EQ(ui_.pages().size(), 3u);
  const ShownPage& done = ui_.pages()[2];
  EXPECT_EQ(done.info, kDoneText);
  EXPECT_EQ(done.nextLabel, "完了");
  EXPECT_FALSE(done.backEnabled);
  EXPECT_TRUE(done.nextEnabled);
  EXPECT_FALSE(done.cancelEnabled);
  EXPECT_EQ(done.focus, kIdNext);
  EXPECT_EQ(done.cursor, kPlatCursorArrow);
  EXPECT_TRUE(ui_.boxes().empty());
  EXPECT_EQ(ReadFile(Installed("Readme.txt")), "new readme");
  EXPECT_EQ(LastWriteTime(Installed("Readme.txt")), kPackageTime);
  EXPECT_FALSE(TemporaryFilesLeft());
}

TEST_F(DialogTest, ShortfallPageThenBackAndNextAfterSpaceWasFreed) {
  PosixSetFreeBytes(999);
  PressNext(2);
  ui_.Press(kIdBack);
  ui_.Press([] {
    PosixSetFreeBytes(5000);
    return kIdNext;
  });
  ui_.Press(kIdNext);
  EXPECT_EQ(RunUpdater(), 1);
  ASSERT_EQ(ui_.pages().size(), 5u);
  const ShownPage& shortfall = ui_.pages()[2];
  EXPECT_EQ(shortfall.info,
            "ディスク容量が足りません。\rD: ドライブに 1 バイトの空き容量が必要です");
  EXPECT_TRUE(shortfall.backEnabled);
  EXPECT_FALSE(shortfall.nextEnabled);
  EXPECT_TRUE(shortfall.cancelEnabled);
  const ShownPage& again = ui_.pages()[3];
  EXPECT_EQ(again.info, kConfirmText);
  EXPECT_FALSE(again.backEnabled);
  EXPECT_TRUE(again.nextEnabled);
  EXPECT_EQ(ui_.pages()[4].info, kDoneText);
  EXPECT_EQ(ReadFile(Installed("Readme.txt")), "new readme");
}

TEST_F(DialogTest, CancelOnTheShortfallPageWritesNothing) {
  ui_.Press(kIdNext);
  ui_.Press([] {
    PosixSetFreeBytes(0);  // start-up had room for UPDATE.INI
    return kIdNext;
  });
  ui_.Press(kIdCancel);
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.pages().size(), 3u);
  EXPECT_EQ(ui_.pages().back().info,
            "ディスク容量が足りません。\rD: ドライブに 1000 バイトの空き容量が必要です");
  EXPECT_FALSE(std::filesystem::exists(Installed("Readme.txt")));
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].text, kInterrupted);
}

TEST_F(DialogTest, NegativeRequiredSpaceStandsForAHugeCount) {
  UseStandardGame("RequiredDiskSpace=-1\r\nUpdateFile00=Readme.txt\r\n");
  PosixSetFreeBytes(1000);
  PressNext(2);
  ui_.Press(kIdCancel);
  RunUpdater();
  ASSERT_EQ(ui_.pages().size(), 3u);
  // 4294967295 - 1000 bytes short, printed as a signed 32-bit number.
  EXPECT_EQ(ui_.pages().back().info,
            "ディスク容量が足りません。\rD: ドライブに -1001 バイトの空き容量が必要です");
}

TEST_F(DialogTest, UnreadableFreeSpaceDoesNotStopTheUpdate) {
  PosixFailDiskQuery(true);
  PressNext(3);
  EXPECT_EQ(RunUpdater(), 1);
  EXPECT_EQ(ReadFile(Installed("Readme.txt")), "new readme");
}

TEST_F(DialogTest, CommandsWhileTheRunShowsABoxAreIgnored) {
  UseStandardGame("UpdateFile00=Missing\\Readme.txt\r\n");
  PressNext(2);
  int cursorAnswer = 0;
  ui_.DuringNextErrorBox([&cursorAnswer](PlatWindow dialog) {
    // The buttons are disabled, but Escape and the close box still send
    // Cancel through the dialog manager.
    UpdateDialogProc(dialog, kPlatMsgCommand, {kIdCancel, 0});
    UpdateDialogProc(dialog, kPlatMsgCommand, {kIdNext, 0});
    UpdateDialogProc(dialog, kPlatMsgCommand, {kIdBack, 0});
    cursorAnswer = UpdateDialogProc(dialog, kPlatMsgSetCursor, {0, 0});
  });
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.boxes().size(), 2u);
  const ShownBox& failure = ui_.boxes()[0];
  EXPECT_EQ(failure.text, "ファイルの書き込みに失敗しました");
  EXPECT_EQ(failure.caption, kCaption);
  EXPECT_NE(failure.owner, nullptr);
  EXPECT_EQ(failure.cursor, kPlatCursorWait);
  EXPECT_EQ(cursorAnswer, 1);
  EXPECT_EQ(DialogPage, 2);  // the run's step only, none from the commands
  EXPECT_EQ(ui_.boxes()[1].text, kInterrupted);
  EXPECT_EQ(ui_.boxes()[1].owner, nullptr);
}

TEST_F(DialogTest, CommandsWithANotificationCodeAreNoClicks) {
  int pageAfter = -1;
  int cursorAnswer = -1;
  ui_.Press([&pageAfter, &cursorAnswer] {
    UpdateDialogProc(DialogWindow, kPlatMsgCommand, {kIdCancel, 1});
    UpdateDialogProc(DialogWindow, kPlatMsgCommand, {kIdNext, 1});
    pageAfter = DialogPage;
    // Not busy: the cursor is left to the default handling.
    cursorAnswer = UpdateDialogProc(DialogWindow, kPlatMsgSetCursor, {0, 0});
    return kIdNext;
  });
  ui_.Press(kIdCancel);
  EXPECT_EQ(RunUpdater(), 0);
  EXPECT_EQ(pageAfter, 0);
  EXPECT_EQ(cursorAnswer, 0);
  ASSERT_EQ(ui_.pages().size(), 2u);
  EXPECT_EQ(ui_.pages()[1].info, kConfirmText);
}

TEST_F(DialogTest, ClicksAndKeysWhileTheFilesAreWrittenDoNothing) {
  UseStandardGame("UpdateFile00=Readme.txt\r\nUpdateFile01=Big.dat\r\n");
  AddPackageFile("Big.dat", std::string(3 << 20, 'b'));
  PressNext(3);
  int cursorAnswer = 0;
  int progressMeanwhile = -2;
  ui_.WhileFilesAreWritten([&](PlatWindow dialog) {
    progressMeanwhile = PosixDialogProgress(dialog);
    // What Windows sends for Escape, the close box, Enter and clicks,
    // whether or not the buttons are enabled.
    for (int id : {kIdCancel, kIdNext, kIdBack}) {
      UpdateDialogProc(dialog, kPlatMsgCommand, {id, 0});
    }
    PosixDialogPress(dialog, kPosixKeyEscape);
    cursorAnswer = UpdateDialogProc(dialog, kPlatMsgSetCursor, {0, 0});
  });
  EXPECT_EQ(RunUpdater(), 1);
  EXPECT_EQ(ReadFile(Installed("Big.dat")), std::string(3 << 20, 'b'));
  EXPECT_EQ(cursorAnswer, 1);
  EXPECT_EQ(progressMeanwhile, 0);
  ASSERT_EQ(ui_.pages().size(), 3u);
  EXPECT_EQ(ui_.pages()[2].info, kDoneText);
  // The bar shows from the start of the writes, only goes on, ends full,
  // and is gone from the completion page.
  const std::vector<int>& shown = ui_.progress();
  ASSERT_GE(shown.size(), 3u);
  EXPECT_EQ(shown.front(), 0);
  EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end() - 1));
  EXPECT_EQ(shown[shown.size() - 2], 1000);
  EXPECT_EQ(shown.back(), -1);
}

}  // namespace
