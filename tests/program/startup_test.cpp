// Start-up: every stop before the dialog, what it shows, and that it
// cleans up after itself.
#include "program_fixture.h"
#include "pack/integrity_record.h"
#include "posix_hooks.h"

namespace {

constexpr char kOneFile[] = "UpdateFile00=Readme.txt\r\n";

class StartupTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    UseStandardGame(kOneFile);
    AddPackageFile("Readme.txt", "new readme");
  }
};

TEST_F(StartupTest, MissingRequiredKeyOfUpdateIniIsReportedAndStops) {
  // GameClass is missing, so GameDir is never asked for.
  SetUpdateIni(
      "[SETUP]\r\nCompanyName=Example Works\r\nGameTitle=Example Story\r\n"
      "GameDir=Example Story\r\n[UPDATE]\r\nUpdateFile00=Readme.txt\r\n");
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].text, "SETUP : GameClass キーが存在しません");
  EXPECT_EQ(ui_.boxes()[0].caption, "INSTCMMN");
  EXPECT_EQ(ui_.boxes()[0].owner, nullptr);
  EXPECT_TRUE(ui_.pages().empty());
  EXPECT_FALSE(TemporaryUpdateIniLeft());
}

TEST_F(StartupTest, GameWithoutInstModeIsNotInstalled) {
  WriteRegistry(
      "[Software\\Example Works\\Example Story]\n"
      "InstPath=D:\\Games\\Example Story\n");
  // UPDATE.INI's title names the game: SETUP.INI has not been read.
  WriteSetupIni("Installed Title", "");
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].text,
            "「Example Story」がインストールされていません");
  EXPECT_EQ(ui_.boxes()[0].caption, "UPDATE");
  EXPECT_EQ(ui_.boxes()[0].buttons, kPlatButtonsOk);
  EXPECT_EQ(ui_.boxes()[0].icon, kPlatIconError);
  EXPECT_FALSE(TemporaryUpdateIniLeft());
}

TEST_F(StartupTest, RecordWithoutDataPathIsInstalled) {
  WriteRegistry(
      "[Software\\Example Works\\Example Story]\n"
      "InstPath=D:\\Games\\Example Story\\\nInstMode=1\n");
  ui_.Press(kIdCancel);
  EXPECT_EQ(RunUpdater(), 0);
  EXPECT_EQ(ui_.pages().size(), 1u);
}

TEST_F(StartupTest, UpdateMessageIsShownBeforeTheCaptionIsBuilt) {
  UseStandardGame(kOneFile, "UpdateMessage=First\\nSecond\r\n");
  ui_.Press(kIdCancel);
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.boxes().size(), 2u);
  EXPECT_EQ(ui_.boxes()[0].text, "First\rSecond");
  EXPECT_EQ(ui_.boxes()[0].caption, "UPDATE");
  EXPECT_EQ(ui_.boxes()[0].owner, nullptr);
  EXPECT_EQ(ui_.boxes()[0].buttons, kPlatButtonsOk);
  EXPECT_EQ(ui_.boxes()[0].icon, kPlatIconError);
  // The message only informs: start-up went on to the dialog.
  EXPECT_EQ(ui_.pages().size(), 1u);
}

TEST_F(StartupTest, MissingSetupIniIsReported) {
  std::filesystem::remove(Installed("SETUP.INI"));
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].text,
            "インストール先に \"SETUP.INI\" ファイルが見つかりません");
  EXPECT_EQ(ui_.boxes()[0].caption, "UPDATE");
  EXPECT_FALSE(TemporaryUpdateIniLeft());
}

TEST_F(StartupTest, FolderNamedSetupIniPassesButLoadFailsSilently) {
  std::filesystem::remove(Installed("SETUP.INI"));
  std::filesystem::create_directory(Installed("SETUP.INI"));
  EXPECT_EQ(RunUpdater(), 0);
  EXPECT_TRUE(ui_.boxes().empty());
  EXPECT_TRUE(ui_.pages().empty());
  EXPECT_FALSE(TemporaryUpdateIniLeft());
}

TEST_F(StartupTest, SetupIniWithoutRequiredKeyStopsWithoutMessage) {
  WriteFile(Installed("SETUP.INI"),
            "[SETUP]\r\nCompanyName=Example Works\r\nGameTitle=Example Story\r\n"
            "GameDir=Example Story\r\nGameExe=Story.exe\r\n");
  EXPECT_EQ(RunUpdater(), 0);
  EXPECT_TRUE(ui_.boxes().empty());
  EXPECT_TRUE(ui_.pages().empty());
  EXPECT_FALSE(TemporaryUpdateIniLeft());
}

TEST_F(StartupTest, InstPathTooLongToJoinCountsAsMissingSetupIni) {
  WriteRegistry("[Software\\Example Works\\Example Story]\nInstPath=D:\\" +
                std::string(250, 'x') + "\nInstMode=1\n");
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].text,
            "インストール先に \"SETUP.INI\" ファイルが見つかりません");
}

TEST_F(StartupTest, TemporaryFolderTooLongCountsAsFailedExtraction) {
  const std::filesystem::path deep = root_ / std::string(200, 't') /
                                     std::string(60, 'u');
  std::filesystem::create_directories(deep);
  setenv("TMPDIR", deep.c_str(), 1);
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].text, "UPDATE.INI not found at UPDATE.QW3");
}

TEST_F(StartupTest, PackageWithoutUpdateIniIsReportedTwice) {
  EXPECT_EQ(RunUpdaterWith(BuildPackageImage(false)), 0);
  ASSERT_EQ(ui_.boxes().size(), 2u);
  EXPECT_EQ(ui_.boxes()[0].text, "Can't Find File in Resource !!");
  EXPECT_EQ(ui_.boxes()[1].text, "UPDATE.INI not found at UPDATE.QW3");
  EXPECT_EQ(ui_.boxes()[1].caption, "UPDATE");
  EXPECT_FALSE(TemporaryUpdateIniLeft());
}

TEST_F(StartupTest, MissingOrDamagedPackageIsReported) {
  EXPECT_EQ(RunUpdaterWith({}), 0);
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].text, "UPDATE.QW3 not found");

  std::vector<uint8_t> damaged = BuildPackageImage(true);
  damaged[0] ^= 0xFF;  // the magic
  EXPECT_EQ(RunUpdaterWith(damaged), 0);
  ASSERT_EQ(ui_.boxes().size(), 2u);
  EXPECT_EQ(ui_.boxes()[1].text, "RESOURCE READ ERROR");
  EXPECT_EQ(ui_.boxes()[1].caption, "UPDATE");
}

// A package that differs from its integrity record in any byte or in its
// length is refused before anything is extracted; a damaged record refuses
// a sound package too. A package with its own record runs as usual.
TEST_F(StartupTest, PackageThatDiffersFromItsIntegrityRecordIsRefused) {
  AddPackageFile("Big.dat", std::string(5000, 'x'), kPackageTime, EntryStorage::Compressed);
  UseStandardGame("UpdateFile00=Readme.txt\r\nUpdateFile01=Big.dat\r\n");
  const std::vector<uint8_t> package = BuildPackageImage(true);
  std::vector<uint8_t> record;
  ASSERT_TRUE(BuildIntegrityRecord(package.data(), uint32_t(package.size()), &record));

  std::vector<std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> damaged;
  for (size_t at : {size_t{0}, size_t{20}, package.size() / 2, package.size() - 1}) {
    damaged.push_back({package, record});
    damaged.back().first[at] ^= 0x04;
  }
  damaged.push_back({std::vector<uint8_t>(package.begin(), package.end() - 1), record});
  for (size_t at : {size_t{0}, size_t{4}, size_t{12}, record.size() - 1}) {
    damaged.push_back({package, record});
    damaged.back().second[at] ^= 0x04;
  }
  damaged.push_back({package, std::vector<uint8_t>()});
  for (size_t i = 0; i < damaged.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    ui_ = ScriptedUi();
    EXPECT_EQ(RunUpdaterWith(damaged[i].first, damaged[i].second), 0);
    ASSERT_EQ(ui_.boxes().size(), 1u);
    EXPECT_EQ(ui_.boxes()[0].text, "RESOURCE READ ERROR");
    EXPECT_EQ(ui_.boxes()[0].caption, "UPDATE");
    EXPECT_TRUE(ui_.pages().empty());
    EXPECT_FALSE(TemporaryUpdateIniLeft());
    EXPECT_FALSE(std::filesystem::exists(Installed("Readme.txt")));
    EXPECT_FALSE(std::filesystem::exists(Installed("Big.dat")));
  }

  ui_ = ScriptedUi();
  PressNext(3);
  EXPECT_EQ(RunUpdaterWith(package, record), 1);
  EXPECT_EQ(ReadFile(Installed("Readme.txt")), "new readme");
  EXPECT_EQ(ReadFile(Installed("Big.dat")), std::string(5000, 'x'));
}

constexpr char kRunningPrompt[] =
    "「Example Story」が実行中です。アップデートを続行する場合はゲームを終了"
    "してから [OK] を、アップデートを中止する場合は [キャンセル] を押して"
    "下さい";

TEST_F(StartupTest, CaptionAndStartTextShowSetupIniTitleAsWritten) {
  WriteSetupIni("100% %s Story", "GameClass=ExampleStoryWnd\r\n");
  ui_.Press(kIdCancel);
  RunUpdater();
  ASSERT_EQ(ui_.pages().size(), 1u);
  EXPECT_EQ(ui_.pages()[0].caption, "100% %s Story アップデータ 1.02");
  EXPECT_EQ(ui_.pages()[0].info, "「100% %s Story」のアップデートを開始します");
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].caption, "100% %s Story アップデータ 1.02");
}

TEST_F(StartupTest, UpdaterTitleIsTheWholeCaption) {
  UseStandardGame(kOneFile, "UpdaterTitle=Patch 100% %s\r\n");
  ui_.Press(kIdCancel);
  RunUpdater();
  ASSERT_EQ(ui_.pages().size(), 1u);
  EXPECT_EQ(ui_.pages()[0].caption, "Patch 100% %s");
}

TEST_F(StartupTest, CaptionWithoutVersionEndsInABlank) {
  SetUpdateIni(
      "[SETUP]\r\nCompanyName=Example Works\r\nGameTitle=Example Story\r\n"
      "GameClass=ExampleStoryWnd\r\nGameDir=Example Story\r\n"
      "[UPDATE]\r\nUpdateFile00=Readme.txt\r\n");
  ui_.Press(kIdCancel);
  RunUpdater();
  ASSERT_EQ(ui_.pages().size(), 1u);
  EXPECT_EQ(ui_.pages()[0].caption, "Example Story アップデータ ");
}

TEST_F(StartupTest, SecondInstanceBringsTheFirstForwardSilently) {
  OpenWindow("#32770", kCaption);
  EXPECT_EQ(RunUpdater(), 0);
  EXPECT_TRUE(ui_.boxes().empty());
  EXPECT_TRUE(ui_.pages().empty());
  EXPECT_EQ(PosixBringToFrontCount(), 1);
  EXPECT_STREQ(PosixLastFrontTitle(), kCaption);
  // The first updater still needs its UPDATE.INI.
  EXPECT_TRUE(TemporaryUpdateIniLeft());
}

TEST_F(StartupTest, SecondUpdaterProcessLeavesTheFirstItsWork) {
  int secondExitCode = -1;
  ui_.Press([this, &secondExitCode] {
    secondExitCode = RunAnotherUpdaterProcess();
    return kIdNext;
  });
  PressNext(2);
  EXPECT_EQ(RunUpdater(), 1);
  EXPECT_EQ(secondExitCode, 0);
  EXPECT_TRUE(ui_.boxes().empty());
  EXPECT_EQ(ReadFile(Installed("Readme.txt")), "new readme");
  EXPECT_FALSE(TemporaryUpdateIniLeft());
}

TEST_F(StartupTest, RunningGameAsksAgainOnOkAndStopsOnCancel) {
  OpenWindow("ExampleStoryWnd", "Example Story");
  ui_.Answer(kPlatIdOk);  // the game is still running
  ui_.Answer(kPlatIdCancel);
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.boxes().size(), 2u);
  for (const ShownBox& box : ui_.boxes()) {
    EXPECT_EQ(box.text, kRunningPrompt);
    EXPECT_EQ(box.caption, kCaption);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.buttons, kPlatButtonsOkCancel);
    EXPECT_EQ(box.icon, kPlatIconNone);
  }
  // No interruption message: the player chose to stop.
  EXPECT_TRUE(ui_.pages().empty());
  EXPECT_EQ(PosixBringToFrontCount(), 1);
  EXPECT_STREQ(PosixLastFrontTitle(), "Example Story");
  EXPECT_FALSE(TemporaryUpdateIniLeft());
}

TEST_F(StartupTest, GameQuitBeforeOkLetsTheUpdateRun) {
  OpenWindow("ExampleStoryWnd", "Example Story");
  ui_.Answer([this] {
    CloseWindows();
    return kPlatIdOk;
  });
  PressNext(3);
  EXPECT_EQ(RunUpdater(), 1);
  EXPECT_EQ(ReadFile(Installed("Readme.txt")), "new readme");
}

TEST_F(StartupTest, GameFoundUnderSecondTitleIsNamedByIt) {
  UseStandardGame(kOneFile, "GameTitleA=Example Story Fan Disc\r\n");
  OpenWindow("ExampleStoryWnd", "Example Story Fan Disc");
  ui_.Answer(kPlatIdCancel);
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].text.rfind("「Example Story Fan Disc」が実行中です。", 0),
            0u);
  EXPECT_STREQ(PosixLastFrontTitle(), "Example Story Fan Disc");
}

}  // namespace
