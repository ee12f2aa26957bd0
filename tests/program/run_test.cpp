// The update run: each mode with and without OverwriteOnly, the InstMode
// filter, gaps in the keys, the data folder, and the failures that end it.
#include "posix_hooks.h"
#include "program_fixture.h"

namespace {

constexpr char kWriteFailed[] = "ファイルの書き込みに失敗しました";
constexpr char kInterrupted[] = "アップデートが中断されました";
constexpr uint64_t kOldTime = kPackageTime - 864000000000ull;

class RunTest : public ProgramTest {
 protected:
  std::filesystem::path Saved(const std::string& name) const {
    return root_ / "d" / "Saves" / name;
  }
};

class ModesTest : public RunTest,
                  public ::testing::WithParamInterface<bool> {};

TEST_P(ModesTest, EachModeWritesWhereItShould) {
  const bool overwriteOnly = GetParam();
  UseStandardGame(std::string("OverwriteOnly=") + (overwriteOnly ? "1" : "0") +
                  "\r\n"
                  "UpdateFile00=New.txt\r\n"
                  "UpdateFile01=Old.txt\r\n"
                  "UpdateFile02=u,Newer.txt\r\n"
                  "UpdateFile03=U, Older.txt\r\n"
                  "UpdateFile04=d,Config.dat\r\n"
                  "UpdateFile05=D,Fresh.dat\r\n"
                  "UpdateFile06=o,Patch.dat\r\n"
                  "UpdateFile07=O,Absent.dat\r\n");
  for (const char* name : {"New.txt", "Old.txt", "Newer.txt", "Older.txt",
                           "Config.dat", "Fresh.dat", "Patch.dat",
                           "Absent.dat"}) {
    AddPackageFile(name, std::string("package ") + name);
  }
  WriteFile(Installed("Old.txt"), "installed", kLaterTime);
  WriteFile(Installed("Newer.txt"), "installed", kLaterTime);
  WriteFile(Installed("Older.txt"), "installed", kOldTime);
  WriteFile(Saved("Config.dat"), "player's settings", kOldTime);
  WriteFile(Installed("Patch.dat"), "installed", kLaterTime);
  PressNext(3);

  EXPECT_EQ(RunUpdater(), 1);
  EXPECT_TRUE(ui_.boxes().empty());
  // Replace: whatever is there, but only onto an existing file with
  // OverwriteOnly.
  EXPECT_EQ(std::filesystem::exists(Installed("New.txt")), !overwriteOnly);
  if (!overwriteOnly) {
    EXPECT_EQ(ReadFile(Installed("New.txt")), "package New.txt");
    EXPECT_EQ(LastWriteTime(Installed("New.txt")), kPackageTime);
  }
  EXPECT_EQ(ReadFile(Installed("Old.txt")), "package Old.txt");
  EXPECT_EQ(LastWriteTime(Installed("Old.txt")), kPackageTime);
  // Update: a newer installed file is spared, an older one replaced.
  EXPECT_EQ(ReadFile(Installed("Newer.txt")), "installed");
  EXPECT_EQ(LastWriteTime(Installed("Newer.txt")), kLaterTime);
  EXPECT_EQ(ReadFile(Installed("Older.txt")), "package Older.txt");
  // Data: below DataPath; the player's file keeps its bytes.
  EXPECT_EQ(ReadFile(Saved("Config.dat")), "player's settings");
  EXPECT_FALSE(std::filesystem::exists(Installed("Config.dat")));
  EXPECT_EQ(std::filesystem::exists(Saved("Fresh.dat")), !overwriteOnly);
  if (!overwriteOnly) {
    EXPECT_EQ(ReadFile(Saved("Fresh.dat")), "package Fresh.dat");
  }
  // Overwrite: only onto an existing file, even an newer one.
  EXPECT_EQ(ReadFile(Installed("Patch.dat")), "package Patch.dat");
  EXPECT_FALSE(std::filesystem::exists(Installed("Absent.dat")));
}

INSTANTIATE_TEST_SUITE_P(OverwriteOnly, ModesTest, ::testing::Bool());

TEST_F(RunTest, InstModeFilterAndKeyGaps) {
  // 2 is for another installation; the line after it is still read; the
  // gap after UpdateFile02 ends the list.
  UseStandardGame(
      "UpdateFile00=2,Other.txt\r\n"
      "UpdateFile01=1,u,Mine.txt\r\n"
      "UpdateFile02=12,u,A.dat\r\n"
      "UpdateFile04=Late.txt\r\n");
  AddPackageFile("Other.txt", "other");
  AddPackageFile("Mine.txt", "mine");
  AddPackageFile("12", "twelve");
  AddPackageFile("Late.txt", "late");
  PressNext(3);
  EXPECT_EQ(RunUpdater(), 1);
  EXPECT_FALSE(std::filesystem::exists(Installed("Other.txt")));
  EXPECT_EQ(ReadFile(Installed("Mine.txt")), "mine");
  // Two characters are no filter: "12" is the path of a replaced file.
  EXPECT_EQ(ReadFile(Installed("12")), "twelve");
  EXPECT_FALSE(std::filesystem::exists(Installed("Late.txt")));
}

TEST_F(RunTest, SixteenKeysAtMost) {
  std::string lines;
  for (int n = 0; n <= 16; ++n) {
    char line[64];
    std::snprintf(line, sizeof line, "UpdateFile%02i=F%02i.txt\r\n", n, n);
    lines += line;
    AddPackageFile("F" + std::to_string(100 + n).substr(1) + ".txt", "x");
  }
  UseStandardGame(lines);
  PressNext(3);
  EXPECT_EQ(RunUpdater(), 1);
  EXPECT_TRUE(std::filesystem::exists(Installed("F15.txt")));
  EXPECT_FALSE(std::filesystem::exists(Installed("F16.txt")));
}

TEST_F(RunTest, EntryNameIsTheLastComponentOfThePath) {
  // "ソ" ends in the byte 0x5C, which must not split the name.
  UseStandardGame("UpdateFile00=u,Data\\ソフト.dat\r\n");
  std::filesystem::create_directories(Installed("Data"));
  AddPackageFile("ソフト.dat", "data", kPackageTime, EntryStorage::Compressed);
  PressNext(3);
  EXPECT_EQ(RunUpdater(), 1);
  EXPECT_EQ(ReadFile(Installed("Data\\ソフト.dat")), "data");
}

TEST_F(RunTest, DataFolderGoesBetweenBaseAndPathAndIsCreated) {
  UseStandardGame("UpdateFile00=Readme.txt\r\nUpdateFile01=d,Config.dat\r\n",
                  "DataFolder=Save\r\n");
  AddPackageFile("Readme.txt", "readme");
  AddPackageFile("Config.dat", "config");
  PressNext(3);
  EXPECT_EQ(RunUpdater(), 1);
  EXPECT_EQ(ReadFile(Installed("Save\\Readme.txt")), "readme");
  EXPECT_EQ(ReadFile(Saved("Save/Config.dat")), "config");
}

TEST_F(RunTest, MissingFolderFailsAndLeavesEarlierFilesWritten) {
  UseStandardGame(
      "UpdateFile00=First.txt\r\n"
      "UpdateFile01=NoSuchFolder\\Second.txt\r\n"
      "UpdateFile02=Third.txt\r\n");
  AddPackageFile("First.txt", "1");
  AddPackageFile("Second.txt", "2");
  AddPackageFile("Third.txt", "3");
  PressNext(2);
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.boxes().size(), 2u);
  EXPECT_EQ(ui_.boxes()[0].text, kWriteFailed);
  EXPECT_EQ(ui_.boxes()[1].text, kInterrupted);
  EXPECT_EQ(ReadFile(Installed("First.txt")), "1");
  EXPECT_FALSE(std::filesystem::exists(Installed("Third.txt")));
  EXPECT_FALSE(TemporaryFilesLeft());
}

TEST_F(RunTest, FailedWriteKeepsTheInstalledFile) {
  UseStandardGame("UpdateFile00=Readme.txt\r\n");
  AddPackageFile("Readme.txt", "a new readme that is long enough");
  WriteFile(Installed("Readme.txt"), "installed", kOldTime);
  ui_.Press(kIdNext);
  ui_.Press([] {
    PosixFailWritesAfter(10);  // half-way through the file
    return kIdNext;
  });
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.boxes().size(), 2u);
  EXPECT_EQ(ui_.boxes()[0].text, kWriteFailed);
  EXPECT_EQ(ReadFile(Installed("Readme.txt")), "installed");
}

TEST_F(RunTest, TargetTooLongToJoinIsAFailedWrite) {
  UseStandardGame("UpdateFile00=" + std::string(240, 'x') + ".txt\r\n");
  PressNext(2);
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.boxes().size(), 2u);
  EXPECT_EQ(ui_.boxes()[0].text, kWriteFailed);
  EXPECT_EQ(ui_.boxes()[1].text, kInterrupted);
}

TEST_F(RunTest, EntryMissingFromThePackageIsReportedTwice) {
  UseStandardGame("UpdateFile00=Nowhere.txt\r\n");
  PressNext(2);
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.boxes().size(), 3u);
  EXPECT_EQ(ui_.boxes()[0].text, "Can't Find File in Resource !!");
  EXPECT_EQ(ui_.boxes()[0].caption, kCaption);
  EXPECT_NE(ui_.boxes()[0].owner, nullptr);
  EXPECT_EQ(ui_.boxes()[1].text, kWriteFailed);
}

TEST_F(RunTest, SectionWithoutFirstKeysEndsTheRun) {
  UseStandardGame("UpdateFile01=Readme.txt\r\nCopyFile01=Movie\r\n");
  AddPackageFile("Readme.txt", "readme");
  PressNext(2);
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.boxes().size(), 2u);
  EXPECT_EQ(ui_.boxes()[0].text, "No 'UpdateFileXX' and 'CopyFileXX'");
  EXPECT_NE(ui_.boxes()[0].owner, nullptr);
  EXPECT_EQ(ui_.boxes()[1].text, kInterrupted);
  EXPECT_FALSE(std::filesystem::exists(Installed("Readme.txt")));
}

TEST_F(RunTest, EveryLineFilteredOutIsAFinishedUpdate) {
  UseStandardGame("UpdateFile00=2,Readme.txt\r\nUpdateFile01=3,u,A.dat\r\n");
  AddPackageFile("Readme.txt", "readme");
  PressNext(3);
  EXPECT_EQ(RunUpdater(), 1);
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].text,
            "アップデートする必要のあるファイルはありません");
  EXPECT_NE(ui_.boxes()[0].owner, nullptr);
  ASSERT_EQ(ui_.pages().size(), 3u);
  EXPECT_EQ(ui_.pages().back().info, "アップデートは完了しました");
  EXPECT_FALSE(std::filesystem::exists(Installed("Readme.txt")));
}

}  // namespace
