// Start-up: every stop before the dialog, what it shows, and that it
// cleans up after itself.
#include <sys/stat.h>

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
  EXPECT_FALSE(TemporaryFilesLeft());
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
  EXPECT_FALSE(TemporaryFilesLeft());
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
  EXPECT_FALSE(TemporaryFilesLeft());
}

TEST_F(StartupTest, FolderNamedSetupIniPassesButLoadFailsSilently) {
  std::filesystem::remove(Installed("SETUP.INI"));
  std::filesystem::create_directory(Installed("SETUP.INI"));
  EXPECT_EQ(RunUpdater(), 0);
  EXPECT_TRUE(ui_.boxes().empty());
  EXPECT_TRUE(ui_.pages().empty());
  EXPECT_FALSE(TemporaryFilesLeft());
}

TEST_F(StartupTest, SetupIniWithoutRequiredKeyStopsWithoutMessage) {
  WriteFile(Installed("SETUP.INI"),
            "[SETUP]\r\nCompanyName=Example Works\r\nGameTitle=Example Story\r\n"
            "GameDir=Example Story\r\nGameExe=Story.exe\r\n");
  EXPECT_EQ(RunUpdater(), 0);
  EXPECT_TRUE(ui_.boxes().empty());
  EXPECT_TRUE(ui_.pages().empty());
  EXPECT_FALSE(TemporaryFilesLeft());
}

TEST_F(StartupTest, InstPathTooLongToJoinCountsAsMissingSetupIni) {
  WriteRegistry("[Software\\Example Works\\Example Story]\nInstPath=D:\\" +
                std::string(250, 'x') + "\nInstMode=1\n");
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].text,
            "インストール先に \"SETUP.INI\" ファイルが見つかりません");
}

// Too long for the updater's own folder, and long enough for the folder but
// not for UPDATE.INI in it: both a failed extraction, and the folder made
// for the second is removed again.
TEST_F(StartupTest, TemporaryFolderTooLongCountsAsFailedExtraction) {
  const size_t rootLength = root_.string().size() + 1;
  for (size_t length : {size_t{289}, size_t{238}}) {
    SCOPED_TRACE("TMPDIR of " + std::to_string(length) + " bytes");
    const std::filesystem::path deep =
        root_ / ("deep" + std::to_string(length)) /
        std::string(length - rootLength - 8, 't');
    ASSERT_EQ(deep.string().size(), length);
    std::filesystem::create_directories(deep);
    setenv("TMPDIR", deep.c_str(), 1);
    ui_ = ScriptedUi();
    EXPECT_EQ(RunUpdater(), 0);
    ASSERT_EQ(ui_.boxes().size(), 1u);
    EXPECT_EQ(ui_.boxes()[0].text, "UPDATE.INI not found at UPDATE.QW3");
    EXPECT_TRUE(std::filesystem::is_empty(deep));
  }
}

// Whether this process holds the file open.
bool HeldOpen(const std::filesystem::path& file) {
  const std::filesystem::path target = std::filesystem::canonical(file);
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(fd.path(), ec) == target) return true;
  }
  return false;
}

// While the player reads the start page, UPDATE.INI lies in a folder that
// was not there before and that only its owner may open, and the updater
// holds it open; all of it is gone at the end.
TEST_F(StartupTest, UpdateIniLivesInAFolderOfItsOwnHeldOpen) {
  bool looked = false;
  ui_.Press([this, &looked] {
    looked = true;
    const std::vector<std::filesystem::path> entries = TemporaryEntries();
    EXPECT_EQ(entries.size(), 1u);
    if (entries.size() != 1) return kIdCancel;
    const std::filesystem::path& folder = entries[0];
    EXPECT_EQ(folder.filename().string().rfind("updater-", 0), 0u) << folder;
    struct stat info;
    EXPECT_EQ(lstat(folder.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(ReadFile(folder / "UPDATE.INI").rfind("[SETUP]\r\nCompanyName=Example Works\r\n", 0), 0u);
    EXPECT_TRUE(HeldOpen(folder / "UPDATE.INI"));
    return kIdCancel;
  });
  EXPECT_EQ(RunUpdater(), 0);
  EXPECT_TRUE(looked);
  EXPECT_FALSE(TemporaryFilesLeft());
}

// An UPDATE.INI that another program put into the temporary folder, file
// or folder, is neither read nor touched.
TEST_F(StartupTest, UpdateIniPlantedInTheTemporaryFolderPlaysNoPart) {
  const std::filesystem::path planted = root_ / "tmp" / "UPDATE.INI";
  const std::string plantedText =
      "[SETUP]\r\nCompanyName=Other\r\nGameTitle=Other\r\nGameClass=O\r\n"
      "GameDir=Other\r\n[UPDATE]\r\nUpdateFile00=..\\..\\Evil.txt\r\n";
  for (bool asFolder : {false, true}) {
    SCOPED_TRACE(asFolder ? "a folder" : "a file");
    std::filesystem::remove_all(planted);
    std::filesystem::remove(Installed("Readme.txt"));
    if (asFolder) {
      std::filesystem::create_directory(planted);
    } else {
      WriteFile(planted, plantedText);
    }
    ui_ = ScriptedUi();
    PressNext(3);
    EXPECT_EQ(RunUpdater(), 1);
    EXPECT_TRUE(ui_.boxes().empty());
    EXPECT_EQ(ReadFile(Installed("Readme.txt")), "new readme");
    EXPECT_EQ(TemporaryEntries(), std::vector<std::filesystem::path>{planted});
    if (asFolder) {
      EXPECT_TRUE(std::filesystem::is_directory(planted));
    } else {
      EXPECT_EQ(ReadFile(planted), plantedText);
    }
  }
}

TEST_F(StartupTest, PackageWithoutUpdateIniIsReportedTwice) {
  EXPECT_EQ(RunUpdaterWith(BuildPackageImage(false)), 0);
  ASSERT_EQ(ui_.boxes().size(), 2u);
  EXPECT_EQ(ui_.boxes()[0].text, "Can't Find File in Resource !!");
  EXPECT_EQ(ui_.boxes()[1].text, "UPDATE.INI not found at UPDATE.QW3");
  EXPECT_EQ(ui_.boxes()[1].caption, "UPDATE");
  EXPECT_FALSE(TemporaryFilesLeft());
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
    EXPECT_FALSE(TemporaryFilesLeft());
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
  // Its own UPDATE.INI, which no other updater reads, is gone.
  EXPECT_FALSE(TemporaryFilesLeft());
}

// The second updater removes its own UPDATE.INI and leaves the first's.
TEST_F(StartupTest, SecondUpdaterProcessLeavesTheFirstItsWork) {
  int secondExitCode = -1;
  ui_.Press([this, &secondExitCode] {
    const std::vector<std::filesystem::path> before = TemporaryEntries();
    secondExitCode = RunAnotherUpdaterProcess();
    EXPECT_EQ(TemporaryEntries(), before);
    return kIdNext;
  });
  PressNext(2);
  EXPECT_EQ(RunUpdater(), 1);
  EXPECT_EQ(secondExitCode, 0);
  EXPECT_TRUE(ui_.boxes().empty());
  EXPECT_EQ(ReadFile(Installed("Readme.txt")), "new readme");
  EXPECT_FALSE(TemporaryFilesLeft());
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
  EXPECT_FALSE(TemporaryFilesLeft());
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
