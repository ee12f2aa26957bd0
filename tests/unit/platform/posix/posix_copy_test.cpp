// The POSIX shell copy: files and folders into a destination, replacing and
// creating without asking, failures and user stops told apart.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "platform/platform.h"
#include "posix_test_folder.h"

namespace {

// A file's copy shows the shell's errors, a folder's does not.
constexpr bool kShowErrors = true;
constexpr bool kQuiet = false;

class PosixCopy : public PosixFolderTest {
 protected:
  // The updater passes double-NUL lists. `aborted`: whether it was stopped.
  PlatCopyResult Copy(const std::string& from, const std::string& to, bool showErrors,
                      bool* aborted) {
    const std::string fromList = from + '\0' + '\0';
    const std::string toList = to + '\0' + '\0';
    const PlatCopyResult result =
        PlatShellCopy(nullptr, fromList.c_str(), toList.c_str(), showErrors);
    *aborted = result == kPlatCopyStopped;
    return result;
  }
  mode_t Mode(const std::string& name) {
    struct stat info;
    return stat(Path(name).c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
  }
};

TEST_F(PosixCopy, FileLandsAtTheDestinationPathWithFoldersMade) {
  setenv("UPDATER_DRIVES", ("E=" + Path("disc")).c_str(), 1);
  Put("disc/Data/X.dat", "from the disc", 0444);
  Put("game/Data/Old/X.dat", "", 0644);
  Put("game/Data/New/X.dat", "old", 0444);  // replaced without a question
  bool aborted = true;
  EXPECT_EQ(Copy("E:\\Data\\X.dat", Path("game") + "\\Data\\New\\X.dat", kShowErrors,
                 &aborted), kPlatCopyDone);
  EXPECT_FALSE(aborted);
  EXPECT_EQ(Get("game/Data/New/X.dat"), "from the disc");
  EXPECT_EQ(Copy("E:\\Data\\X.dat", Path("game") + "\\Made\\Here\\X.dat", kShowErrors,
                 &aborted), kPlatCopyDone);
  EXPECT_EQ(Get("game/Made/Here/X.dat"), "from the disc");
  EXPECT_EQ(Mode("game/Made/Here/X.dat"), 0444u);  // attributes come along
  EXPECT_EQ(CountEntries("game/Data/New"), 1);
}

TEST_F(PosixCopy, FolderIsCopiedIntoTheDestinationUnderItsName) {
  Put("disc/Movie/Op.mpg", "op", 0444);
  Put("disc/Movie/Sub/Ed.mpg", "ed");
  Put("game/Movie/Op.mpg", "stale");
  bool aborted = true;
  EXPECT_EQ(Copy(Path("disc/Movie"), Path("game"), kQuiet, &aborted), kPlatCopyDone);
  EXPECT_FALSE(aborted);
  EXPECT_EQ(Get("game/Movie/Op.mpg"), "op");
  EXPECT_EQ(Get("game/Movie/Sub/Ed.mpg"), "ed");
  EXPECT_EQ(Mode("game/Movie/Op.mpg"), 0444u);
  // A folder cannot go into itself.
  EXPECT_NE(Copy(Path("disc"), Path("disc/Movie"), kQuiet, &aborted), kPlatCopyDone);
}

TEST_F(PosixCopy, MissingSourceFailsWithoutAStop) {
  bool aborted = true;
  EXPECT_NE(Copy(Path("disc/Nothing"), Path("game"), kQuiet, &aborted), kPlatCopyDone);
  EXPECT_FALSE(aborted);
}

TEST_F(PosixCopy, UserStopIsNotAFailure) {
  Put("disc/Movie/A.mpg", "a");
  Put("disc/Movie/B.mpg", "b");
  std::filesystem::create_directory(Path("game"));
  PosixAbortCopyAfter(1);
  bool aborted = false;
  EXPECT_NE(Copy(Path("disc/Movie"), Path("game"), kQuiet, &aborted), kPlatCopyDone);
  EXPECT_TRUE(aborted);
  EXPECT_EQ(CountEntries("game/Movie"), 1);  // one file made it, no half file
  // The stop was for that copy only.
  EXPECT_EQ(Copy(Path("disc/Movie"), Path("game"), kQuiet, &aborted), kPlatCopyDone);
  EXPECT_FALSE(aborted);
}

TEST_F(PosixCopy, CtrlCStopsTheCopyInTheMiddleOfAFile) {
  // The source is a pipe, so the copy is surely under way when Ctrl-C comes.
  std::filesystem::create_directories(Path("disc"));
  ASSERT_EQ(mkfifo(Path("disc/Stream.dat").c_str(), 0644), 0);
  // The stopped copy closes the pipe: the second write may find it gone.
  const auto savedPipe = std::signal(SIGPIPE, SIG_IGN);
  std::thread user([this] {
    const int fd = open(Path("disc/Stream.dat").c_str(), O_WRONLY);
    EXPECT_EQ(write(fd, "abc", 3), 3);
    usleep(50000);  // the copy waits in its next read when Ctrl-C comes
    kill(getpid(), SIGINT);
    usleep(50000);
    (void)!write(fd, "def", 3);
    close(fd);
  });
  bool aborted = false;
  EXPECT_NE(Copy(Path("disc/Stream.dat"), Path("game.dat"), kShowErrors, &aborted), kPlatCopyDone);
  user.join();
  std::signal(SIGPIPE, savedPipe);
  EXPECT_TRUE(aborted);
  EXPECT_EQ(CountEntries("."), 1);  // only the disc: no half file, no temporary file
}

TEST_F(PosixCopy, WriteFailingHalfWayKeepsTheOldFile) {
  Put("disc/Big.dat", std::string(10000, 'n'));
  Put("game/Big.dat", "old");
  PosixFailWritesAfter(5000);
  bool aborted = true;
  EXPECT_NE(Copy(Path("disc/Big.dat"), Path("game"), kShowErrors, &aborted), kPlatCopyDone);
  EXPECT_FALSE(aborted);
  EXPECT_EQ(Get("game/Big.dat"), "old");
  EXPECT_EQ(CountEntries("game"), 1);
}

}  // namespace
