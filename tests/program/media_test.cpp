// The media copies: the disc search over the CD-ROM drives, the insert
// prompt, the copy of files and folders into the installation, and the ways
// the copies end the run.
#include <sys/stat.h>

#include "posix_hooks.h"
#include "program_fixture.h"

namespace {

constexpr char kInterrupted[] = "アップデートが中断されました";
constexpr char kWriteFailed[] = "ファイルの書き込みに失敗しました";

std::string CopyFailed(const std::string& path) {
  return "SETUP.INI : \"" + path + "\" のコピーに失敗しました";
}
std::string InsertPrompt(int disk) {
  return "ＣＤ－ＲＯＭドライブに「Example Story」ディスク " +
         std::to_string(disk) + " を入れて下さい";
}

class MediaTest : public ProgramTest {
 protected:
  // The standard game, installed at a POSIX path so that the only drives
  // are the CD-ROM drives E: and F:. A drive whose folder is missing holds
  // no disc. Discs 1 and 2 are known by Disc1.id and Disc2.id.
  void UseDiscGame(const std::string& updateSection) {
    UseStandardGame(updateSection);
    WriteSetupIni("Example Story",
                  "GameClass=ExampleStoryWnd\r\n"
                  "DiskCheckFile1=Disc1.id\r\n"
                  "DiskCheckFile2=Disc2.id\r\n");
    std::string instPath = Installed("").string();
    if (instPath.back() == '/') instPath.pop_back();
    WriteRegistry("[Software\\Example Works\\Example Story]\n"
                  "InstPath=" + instPath + "\n"
                  "InstMode=1\n");
    setenv("UPDATER_DRIVES",
           ("E=" + Drive('E').string() + ";F=" + Drive('F').string()).c_str(),
           1);
  }
  std::filesystem::path Drive(char letter) const {
    return root_ / "drives" / std::string(1, letter);
  }
  // Puts disc `disk` into the drive.
  void InsertDisc(char letter, int disk) {
    std::filesystem::create_directories(Drive(letter));
    WriteFile(Drive(letter) / ("Disc" + std::to_string(disk) + ".id"), "");
  }
  // A read-only file on the disc in the drive, as files on a CD are.
  void PutOnDisc(char letter, const std::string& relative,
                 const std::string& bytes) {
    const std::filesystem::path path = Drive(letter) / relative;
    std::filesystem::create_directories(path.parent_path());
    WriteFile(path, bytes);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  }
  static bool Writable(const std::filesystem::path& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) != 0;
  }
  bool AnyPrompt() const {
    for (const ShownBox& box : ui_.boxes()) {
      if (box.buttons == kPlatButtonsOkCancel) return true;
    }
    return false;
  }
};

TEST_F(MediaTest, DiscIsSearchedInLetterOrder) {
  UseDiscGame("CopyFile00=1:Movie\r\n"
              "CopyFile01=1:A.dat\r\n");
  // E: holds another disc; only F: holds disc 1.
  InsertDisc('E', 2);
  PutOnDisc('E', "Movie/Op.mpg", "other game");
  InsertDisc('F', 1);
  PutOnDisc('F', "Movie/Op.mpg", "opening");
  PutOnDisc('F', "A.dat", "from F");
  PressNext(3);
  EXPECT_EQ(RunUpdater(), 1);
  EXPECT_TRUE(ui_.boxes().empty());
  EXPECT_EQ(ReadFile(Installed("Movie\\Op.mpg")), "opening");

  // With disc 1 in both drives, E: is used.
  InsertDisc('E', 1);
  PutOnDisc('E', "A.dat", "from E");
  PressNext(3);
  EXPECT_EQ(RunUpdater(), 1);
  EXPECT_EQ(ReadFile(Installed("A.dat")), "from E");
}

TEST_F(MediaTest, EmptyCheckFileMatchesAnyDriveWithADisc) {
  UseDiscGame("CopyFile00=1:A.dat\r\n");
  WriteSetupIni("Example Story", "GameClass=ExampleStoryWnd\r\n");
  PutOnDisc('F', "A.dat", "from F");  // E: is empty
  PressNext(3);
  EXPECT_EQ(RunUpdater(), 1);
  EXPECT_TRUE(ui_.boxes().empty());
  EXPECT_EQ(ReadFile(Installed("A.dat")), "from F");
}

TEST_F(MediaTest, PromptUntilTheDiscIsInserted) {
  UseDiscGame("UpdateFile00=Readme.txt\r\n"
              "CopyFile00=2:Voice\r\n");
  AddPackageFile("Readme.txt", "read me");
  PutOnDisc('E', "Voice/V001.wav", "wrong disc");  // E: holds no check file
  ui_.Answer(kPlatIdOk);  // nothing inserted: asked again
  ui_.Answer([this] {
    // The package files are all written before a disc is asked for, and
    // the dialog stays busy while the prompt is open.
    const PlatWindow dialog = ui_.boxes().back().owner;
    EXPECT_EQ(ReadFile(Installed("Readme.txt")), "read me");
    EXPECT_FALSE(PosixDialogControlEnabled(dialog, kIdNext));
    EXPECT_FALSE(PosixDialogControlEnabled(dialog, kIdCancel));
    EXPECT_FALSE(PosixDialogControlEnabled(dialog, kIdBack));
    InsertDisc('F', 2);
    PutOnDisc('F', "Voice/V001.wav", "voice");
    return kPlatIdOk;
  });
  PressNext(3);
  EXPECT_EQ(RunUpdater(), 1);
  ASSERT_EQ(ui_.boxes().size(), 2u);
  for (const ShownBox& box : ui_.boxes()) {
    EXPECT_EQ(box.text, InsertPrompt(2));
    EXPECT_EQ(box.caption, kCaption);
    EXPECT_EQ(box.buttons, kPlatButtonsOkCancel);
    EXPECT_EQ(box.icon, kPlatIconNone);
    EXPECT_NE(box.owner, nullptr);
    EXPECT_EQ(box.cursor, kPlatCursorWait);
  }
  EXPECT_EQ(ReadFile(Installed("Voice\\V001.wav")), "voice");
}

TEST_F(MediaTest, CancelAtThePromptEndsTheRunWithoutAnotherBox) {
  UseDiscGame("CopyFile00=1:A.dat\r\n");
  ui_.Answer(kPlatIdCancel);
  PressNext(2);
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.boxes().size(), 2u);
  EXPECT_EQ(ui_.boxes()[0].text, InsertPrompt(1));
  EXPECT_EQ(ui_.boxes()[1].text, kInterrupted);  // start-up's, after the dialog
}

TEST_F(MediaTest, ItemWithoutDiskUsesTheDriveFoundBefore) {
  UseDiscGame("CopyFile00=1:A.dat\r\n"
              "CopyFile01=B.dat\r\n"
              "CopyFile02=0:C.dat\r\n");
  InsertDisc('E', 2);
  PutOnDisc('E', "B.dat", "from E");
  PutOnDisc('E', "C.dat", "from E");
  InsertDisc('F', 1);
  PutOnDisc('F', "A.dat", "from F");
  PutOnDisc('F', "B.dat", "from F");
  PutOnDisc('F', "C.dat", "from F");
  PressNext(3);
  EXPECT_EQ(RunUpdater(), 1);
  EXPECT_EQ(ReadFile(Installed("B.dat")), "from F");
  EXPECT_EQ(ReadFile(Installed("C.dat")), "from F");
}

TEST_F(MediaTest, InstModeFilter) {
  // Meant for InstMode 2: dropped, so disc 2 is never asked for.
  UseDiscGame("CopyFile00=2,2:Movie\r\n"
              "CopyFile01=1,1:Extra.dat\r\n");
  InsertDisc('F', 1);
  PutOnDisc('F', "Extra.dat", "extra");
  PressNext(3);
  EXPECT_EQ(RunUpdater(), 1);
  EXPECT_TRUE(ui_.boxes().empty());
  EXPECT_EQ(ReadFile(Installed("Extra.dat")), "extra");
  EXPECT_FALSE(std::filesystem::exists(Installed("Movie")));

  // Every line filtered out: nothing to do, which is a finished update.
  UseDiscGame("CopyFile00=2,1:Movie\r\n");
  PressNext(3);
  EXPECT_EQ(RunUpdater(), 1);
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].text, "アップデートする必要のあるファイルはありません");
}

TEST_F(MediaTest, FileLandsInItsFolderWithNormalAttributes) {
  UseDiscGame("CopyFile00=1:Data\\X.dat\r\n");
  InsertDisc('F', 1);
  PutOnDisc('F', "Data/X.dat", "x data");
  ASSERT_FALSE(std::filesystem::exists(Installed("Data")));
  PressNext(3);
  EXPECT_EQ(RunUpdater(), 1);
  EXPECT_TRUE(ui_.boxes().empty());
  EXPECT_EQ(ReadFile(Installed("Data\\X.dat")), "x data");
  EXPECT_TRUE(Writable(Installed("Data\\X.dat")));
}

TEST_F(MediaTest, FolderLandsUnderItsOwnNameAndKeepsAttributes) {
  UseDiscGame("CopyFile00=1:Movie\r\n");
  InsertDisc('F', 1);
  PutOnDisc('F', "Movie/Op.mpg", "opening");
  PutOnDisc('F', "Movie/Ending/Ed.mpg", "ending");
  // Left read-only by an earlier copy of the disc: replaced all the same.
  std::filesystem::create_directories(Installed("Movie"));
  WriteFile(Installed("Movie\\Op.mpg"), "old opening");
  ASSERT_EQ(chmod(Installed("Movie\\Op.mpg").c_str(), 0444), 0);
  ASSERT_EQ(chmod(Installed("").c_str(), 0555), 0);
  PressNext(3);
  EXPECT_EQ(RunUpdater(), 1);
  EXPECT_TRUE(ui_.boxes().empty());
  EXPECT_EQ(ReadFile(Installed("Movie\\Op.mpg")), "opening");
  EXPECT_EQ(ReadFile(Installed("Movie\\Ending\\Ed.mpg")), "ending");
  // The files inside keep the disc's read-only; the installation folder,
  // the destination, is made normal.
  EXPECT_FALSE(Writable(Installed("Movie\\Op.mpg")));
  EXPECT_TRUE(Writable(Installed("")));
}

TEST_F(MediaTest, MissingSourceFailsAsAFolderWithoutTheShellsError) {
  UseDiscGame("CopyFile00=1:Gone.dat\r\n");
  InsertDisc('F', 1);
  std::string infoDuringBox;
  ui_.DuringNextErrorBox([&infoDuringBox](PlatWindow dialog) {
    infoDuringBox = PosixDialogControlText(dialog, kIdInfo);
  });
  PressNext(2);
  testing::internal::CaptureStderr();
  const int exitCode = RunUpdater();
  const std::string shellOutput = testing::internal::GetCapturedStderr();
  EXPECT_EQ(exitCode, 0);
  ASSERT_EQ(ui_.boxes().size(), 2u);
  EXPECT_EQ(ui_.boxes()[0].text, CopyFailed("Gone.dat"));
  EXPECT_EQ(ui_.boxes()[0].caption, kCaption);
  EXPECT_EQ(ui_.boxes()[0].buttons, kPlatButtonsOk);
  EXPECT_EQ(ui_.boxes()[0].icon, kPlatIconError);
  EXPECT_NE(ui_.boxes()[0].owner, nullptr);
  EXPECT_EQ(ui_.boxes()[1].text, kInterrupted);
  EXPECT_EQ(infoDuringBox, "Gone.dat をコピーしています");
  // Copied as a folder: the shell shows no error of its own.
  EXPECT_EQ(shellOutput.find("copy failed"), std::string::npos) << shellOutput;
}

TEST_F(MediaTest, FailingPackageFileStopsTheRunBeforeAnyDiscIsAsked) {
  UseDiscGame("UpdateFile00=Absent.dat\r\n"
              "CopyFile00=1:A.dat\r\n");
  PressNext(2);
  EXPECT_EQ(RunUpdater(), 0);
  EXPECT_FALSE(AnyPrompt());
  ASSERT_GE(ui_.boxes().size(), 2u);
  EXPECT_EQ(ui_.boxes()[ui_.boxes().size() - 2].text, kWriteFailed);
  EXPECT_EQ(ui_.boxes().back().text, kInterrupted);
}

TEST_F(MediaTest, CopyFailingHalfWayLeavesWholeFilesOnly) {
  UseDiscGame("CopyFile00=1:Movie\r\n"
              "CopyFile01=1:Later.dat\r\n");
  InsertDisc('F', 1);
  PutOnDisc('F', "Movie/1.mpg", "12345678");
  PutOnDisc('F', "Movie/2.mpg", "abcdefgh");
  PutOnDisc('F', "Later.dat", "later");
  // Once start-up has written UPDATE.INI: room for one of the two files.
  ui_.Press([] {
    PosixFailWritesAfter(8);
    return int{kIdNext};
  });
  PressNext(1);
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.boxes().size(), 2u);
  EXPECT_EQ(ui_.boxes()[0].text, CopyFailed("Movie"));
  EXPECT_EQ(ui_.boxes()[1].text, kInterrupted);
  int files = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(Installed("Movie"))) {
    EXPECT_EQ(ReadFile(entry.path()).size(), 8u) << entry.path();
    ++files;
  }
  EXPECT_EQ(files, 1);
  EXPECT_FALSE(std::filesystem::exists(Installed("Later.dat")));
}

TEST_F(MediaTest, PlayerStoppingTheCopyEndsTheRunSilently) {
  UseDiscGame("CopyFile00=1:Movie\r\n");
  InsertDisc('F', 1);
  PutOnDisc('F', "Movie/1.mpg", "one");
  PutOnDisc('F', "Movie/2.mpg", "two");
  PosixAbortCopyAfter(1);
  PressNext(2);
  EXPECT_EQ(RunUpdater(), 0);
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].text, kInterrupted);
}

TEST_F(MediaTest, UnusableDiskNumbersFailWithoutASearch) {
  // A disk "number" from a letter lies past the check files; disk 0 before
  // any search has no drive. Both fail, although the drives hold the files.
  for (const char* line : {"A:Movie", "/:Movie", "0:Movie"}) {
    SCOPED_TRACE(line);
    ui_ = ScriptedUi();
    UseDiscGame(std::string("CopyFile00=") + line + "\r\n");
    for (char letter : {'E', 'F'}) {
      InsertDisc(letter, 1);
      PutOnDisc(letter, "Movie/Op.mpg", "opening");
    }
    PressNext(2);
    EXPECT_EQ(RunUpdater(), 0);
    EXPECT_FALSE(AnyPrompt());
    ASSERT_EQ(ui_.boxes().size(), 2u);
    EXPECT_EQ(ui_.boxes()[0].text, CopyFailed("Movie"));
    EXPECT_FALSE(std::filesystem::exists(Installed("Movie")));
  }
}

}  // namespace
