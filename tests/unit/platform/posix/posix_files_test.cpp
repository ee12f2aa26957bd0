// The POSIX platform's files, volumes, paths, record file and package bytes,
// against real temporary folders.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "../file_reader_check.h"
#include "../new_file.h"
#include "platform/posix/drives.h"
#include "platform/posix/filetime.h"
#include "platform/posix/package_trailer.h"
#include "platform/posix/paths.h"
#include "posix_test_folder.h"

namespace {

using PosixFiles = PosixFolderTest;

std::string Translate(const char* path) {
  char out[kPosixPathSize];
  return PosixPath(path, out, sizeof out) ? std::string(out) : std::string("<none>");
}

TEST_F(PosixFiles, PathsTranslateBackslashesAndDrives) {
  setenv("UPDATER_DRIVES", "D=/games/d;e=/media/disc", 1);
  EXPECT_EQ(Translate("D:\\Games\\Title\\x.dat"), "/games/d/Games/Title/x.dat");
  EXPECT_EQ(Translate("e:\\"), "/media/disc/");
  EXPECT_EQ(Translate("E:file"), "/media/disc/file");
  EXPECT_EQ(Translate("F:\\x"), "<none>");
  EXPECT_EQ(Translate("relative\\a.txt"), "relative/a.txt");
  // ソ is 83 5C: its second byte is no separator. A lone lead byte at the end
  // stands for itself.
  EXPECT_EQ(Translate("/x/\x83\x5c\\y\\\x83\x5c"), "/x/\x83\x5c/y/\x83\x5c");
  EXPECT_EQ(Translate("a\\\x83"), "a/\x83");
  char tiny[8];
  EXPECT_FALSE(PosixPath("/a/long/path", tiny, sizeof tiny));
}

TEST_F(PosixFiles, DriveTableMarksItsLettersAsCdrom) {
  setenv("UPDATER_DRIVES", "E=/a;f=/b", 1);
  EXPECT_TRUE(PlatIsCdromDrive("E:"));
  EXPECT_TRUE(PlatIsCdromDrive("F:\\"));
  EXPECT_FALSE(PlatIsCdromDrive("G:"));
  EXPECT_FALSE(PlatIsCdromDrive("E:\\x"));
  EXPECT_FALSE(PlatIsCdromDrive("/a"));
}

TEST_F(PosixFiles, OpticalMountsAreLetteredFromD) {
  Put("mounts",
      "/dev/sda1 / ext4 rw 0 0\n"
      "/dev/sr0 /media/My\\040Disc iso9660 ro 0 0\n"
      "tmpfs /tmp tmpfs rw 0 0\n"
      "/dev/sr1 /media/dvd udf ro 0 0\n");
  char folder[kPosixPathSize];
  ASSERT_TRUE(LookUpMountedDisc(Path("mounts").c_str(), 'D', folder, sizeof folder));
  EXPECT_STREQ(folder, "/media/My Disc");
  ASSERT_TRUE(LookUpMountedDisc(Path("mounts").c_str(), 'E', folder, sizeof folder));
  EXPECT_STREQ(folder, "/media/dvd");
  EXPECT_FALSE(LookUpMountedDisc(Path("mounts").c_str(), 'F', folder, sizeof folder));
  EXPECT_FALSE(LookUpMountedDisc(Path("mounts").c_str(), 'C', folder, sizeof folder));
}

TEST_F(PosixFiles, AttributesFoldersAndDeletion) {
  Put("file.txt", "x");
  Put("ro.txt", "x", 0444);
  unsigned attributes = 0;
  ASSERT_TRUE(PlatGetAttributes(Path("file.txt").c_str(), &attributes));
  EXPECT_EQ(attributes, 0u);
  ASSERT_TRUE(PlatGetAttributes(dir_.c_str(), &attributes));
  EXPECT_EQ(attributes & kPlatAttrFolder, kPlatAttrFolder);
  ASSERT_TRUE(PlatGetAttributes(Path("ro.txt").c_str(), &attributes));
  EXPECT_EQ(attributes, kPlatAttrReadOnly);
  EXPECT_FALSE(PlatGetAttributes(Path("missing").c_str(), &attributes));

  // A read-only file is not deleted until it is made normal.
  EXPECT_FALSE(PlatDeleteFile(Path("ro.txt").c_str()));
  ASSERT_TRUE(PlatSetNormalAttributes(Path("ro.txt").c_str()));
  ASSERT_TRUE(PlatGetAttributes(Path("ro.txt").c_str(), &attributes));
  EXPECT_EQ(attributes, 0u);
  EXPECT_TRUE(PlatDeleteFile(Path("ro.txt").c_str()));
  EXPECT_FALSE(PlatDeleteFile(Path("ro.txt").c_str()));

  EXPECT_TRUE(PlatCreateFolder(Path("sub").c_str()));
  EXPECT_FALSE(PlatCreateFolder(Path("sub").c_str()));            // exists
  EXPECT_FALSE(PlatCreateFolder(Path("no/such/parent").c_str()));  // one level only
  EXPECT_FALSE(PlatDeleteFile(Path("sub").c_str()));
}

TEST_F(PosixFiles, FileTimesConvertExactly) {
  // 1601 itself, the Unix epoch, a time before 1970 with a fraction of a
  // second, and one tick past a whole second.
  for (uint64_t ticks : {uint64_t{0}, uint64_t{116444736000000000}, uint64_t{110000000001234567},
                         uint64_t{133500000000000001}}) {
    uint64_t back = 0;
    ASSERT_TRUE(FileTimeFromTimespec(TimespecFromFileTime(ticks), &back));
    EXPECT_EQ(back, ticks);
  }
  const timespec epoch = TimespecFromFileTime(116444736000000000 - 1);
  EXPECT_EQ(epoch.tv_sec, -1);
  EXPECT_EQ(epoch.tv_nsec, 999999900);
  uint64_t ticks = 0;
  EXPECT_FALSE(FileTimeFromTimespec(timespec{-11644473601, 0}, &ticks));
}

TEST_F(PosixFiles, WholeFileWriteSetsTimesAndReadsBack) {
  const std::string path = Path("data.bin");
  const uint64_t stamp = 133500000001234567;  // 2024, with 123456700 ns
  ASSERT_TRUE(WriteInPieces(path.c_str(), "hello", 5, &stamp));
  // Looked at before the file is read: reading moves the access time.
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  const timespec expected = TimespecFromFileTime(stamp);
  EXPECT_EQ(info.st_mtim.tv_sec, expected.tv_sec);
  EXPECT_EQ(info.st_mtim.tv_nsec, expected.tv_nsec);
  EXPECT_EQ(info.st_atim.tv_sec, expected.tv_sec);
  EXPECT_EQ(info.st_atim.tv_nsec, expected.tv_nsec);
  EXPECT_NE(info.st_mode & S_IWUSR, 0u);
  EXPECT_EQ(Get("data.bin"), "hello");
  uint64_t read = 0;
  ASSERT_TRUE(PlatReadLastWriteTime(path.c_str(), &read));
  EXPECT_EQ(read, stamp);

  const uint64_t before1970 = 100000000000000001;
  ASSERT_TRUE(WriteInPieces(path.c_str(), "", 0, &before1970));
  ASSERT_TRUE(PlatReadLastWriteTime(path.c_str(), &read));
  EXPECT_EQ(read, before1970);

  uint32_t size = 99;
  uint8_t* bytes = PlatReadWholeFile(path.c_str(), &size);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(size, 0u);
  std::free(bytes);
  size = 99;
  EXPECT_EQ(PlatReadWholeFile(Path("missing").c_str(), &size), nullptr);
  EXPECT_EQ(size, 99u);
  EXPECT_FALSE(PlatReadLastWriteTime(Path("missing").c_str(), &read));
  EXPECT_EQ(CountEntries("."), 1);  // no temporary file left behind
}

TEST_F(PosixFiles, FileReaderReadsAtOffsets) {
  ASSERT_TRUE(WriteInPieces(Path("digits").c_str(), "0123456789", 10, nullptr));
  CheckFileReader(Path("digits").c_str(), dir_.c_str(), Path("missing").c_str());
}

TEST_F(PosixFiles, WriteWithoutTimeKeepsTheSystemsTime) {
  const time_t now = time(nullptr);
  ASSERT_TRUE(WriteInPieces(Path("now.txt").c_str(), "x", 1, nullptr));
  struct stat info;
  ASSERT_EQ(stat(Path("now.txt").c_str(), &info), 0);
  EXPECT_GE(info.st_mtim.tv_sec, now - 5);
}

TEST_F(PosixFiles, FailedWriteLeavesTheOldFileWhole) {
  const std::string path = Path("target.dat");
  Put("target.dat", "old contents");
  const std::string fresh(1000, 'n');
  PosixFailWritesAfter(500);
  EXPECT_FALSE(WriteInPieces(path.c_str(), fresh.data(), 1000, nullptr));
  EXPECT_EQ(Get("target.dat"), "old contents");
  EXPECT_EQ(CountEntries("."), 1);
  // The budget is spent: the next write fails too, until the hooks reset.
  EXPECT_FALSE(WriteInPieces(Path("other").c_str(), "x", 1, nullptr));
  PosixResetHooks();
  ASSERT_TRUE(WriteInPieces(path.c_str(), fresh.data(), 1000, nullptr));
  EXPECT_EQ(Get("target.dat"), fresh);
}

TEST_F(PosixFiles, AbandonedFileLeavesTheTargetAsItWas) {
  Put("target.dat", "old contents");
  PlatNewFile file = PlatBeginFile(Path("target.dat").c_str());
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(PlatAppendFile(file, "half of the new", 15));
  PlatAbandonFile(file);
  EXPECT_EQ(Get("target.dat"), "old contents");
  EXPECT_EQ(CountEntries("."), 1);
}

TEST_F(PosixFiles, WriteRefusesReadOnlyFilesAndFolders) {
  Put("ro.dat", "keep", 0444);
  EXPECT_FALSE(WriteInPieces(Path("ro.dat").c_str(), "new", 3, nullptr));
  EXPECT_EQ(Get("ro.dat"), "keep");
  ASSERT_TRUE(PlatCreateFolder(Path("folder").c_str()));
  EXPECT_FALSE(WriteInPieces(Path("folder").c_str(), "new", 3, nullptr));
  EXPECT_FALSE(WriteInPieces(Path("no/parent.dat").c_str(), "new", 3, nullptr));
  EXPECT_EQ(CountEntries("."), 2);
}

TEST_F(PosixFiles, WriteGoesThroughALinkToItsFile) {
  Put("real.dat", "old");
  ASSERT_EQ(symlink(Path("real.dat").c_str(), Path("link.dat").c_str()), 0);
  ASSERT_TRUE(WriteInPieces(Path("link.dat").c_str(), "new", 3, nullptr));
  EXPECT_EQ(Get("real.dat"), "new");
  struct stat info;
  ASSERT_EQ(lstat(Path("link.dat").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  uint64_t time = 0;
  EXPECT_FALSE(PlatReadLastWriteTime(dir_.c_str(), &time));  // a folder has none here
}

TEST_F(PosixFiles, DiskSpaceOfDrivesFoldersAndHooks) {
  setenv("UPDATER_DRIVES", ("D=" + dir_).c_str(), 1);
  struct statvfs info;
  ASSERT_EQ(statvfs(dir_.c_str(), &info), 0);
  uint64_t free = 0, total = 0, totalFree = 0;
  ASSERT_TRUE(PlatQueryDiskSpace("D:", &free, &total, &totalFree));
  EXPECT_EQ(total, uint64_t{info.f_blocks} * info.f_frsize);
  // A file not written yet is on the volume of its folder.
  ASSERT_TRUE(PlatQueryDiskSpace("D:\\not\\yet\\there.dat", &free, &total, nullptr));
  EXPECT_EQ(total, uint64_t{info.f_blocks} * info.f_frsize);
  EXPECT_FALSE(PlatQueryDiskSpace("Q:", &free, &total, nullptr));

  PosixSetFreeBytes(12345);
  ASSERT_TRUE(PlatQueryDiskSpace(dir_.c_str(), &free, &total, &totalFree));
  EXPECT_EQ(free, 12345u);
  EXPECT_EQ(totalFree, 12345u);
  PosixFailDiskQuery(true);
  EXPECT_FALSE(PlatQueryDiskSpace(dir_.c_str(), &free, &total, &totalFree));
}

TEST_F(PosixFiles, InstallRecordFile) {
  const std::string longPath(260, 'p');
  Put("record.ini",
      "[Software\\Example Works\\Example Story]\n"
      "InstPath=D:\\Games\\Example\n"
      "InstMode=2\n"
      "InstAdd=4294967295\n"
      "[Software\\No Mode]\nInstPath=C:\\x\nInstAdd=7\n"
      "[Software\\Long]\nInstPath=" + longPath + "\nInstMode=1\n"
      "[Software\\Fits]\nInstPath=" + longPath.substr(1) + "\nDataPath=\"D:\\Data\"\nInstMode=-3\n"
      "[Software\\Bad Mode]\nInstPath=x\nInstMode=12ab\n");
  setenv("UPDATER_REGISTRY", Path("record.ini").c_str(), 1);
  PlatInstallValues values;

  PlatReadInstallValues("software\\example works\\example story", &values);
  EXPECT_TRUE(values.keyOpened && values.hasInstPath && values.hasInstMode && values.hasInstAdd);
  EXPECT_FALSE(values.hasDataPath);
  EXPECT_STREQ(values.instPath, "D:\\Games\\Example");
  EXPECT_STREQ(values.dataPath, "");
  EXPECT_EQ(values.instMode, 2);
  EXPECT_EQ(values.instAdd, -1);

  // A missing InstMode leaves InstAdd unread.
  PlatReadInstallValues("Software\\No Mode", &values);
  EXPECT_TRUE(values.hasInstPath);
  EXPECT_FALSE(values.hasInstMode || values.hasInstAdd);
  EXPECT_EQ(values.instAdd, 0);

  // 260 bytes and a NUL do not fit: InstPath fails and ends the queries.
  PlatReadInstallValues("Software\\Long", &values);
  EXPECT_TRUE(values.keyOpened);
  EXPECT_FALSE(values.hasInstPath || values.hasInstMode);
  EXPECT_STREQ(values.instPath, "");

  PlatReadInstallValues("Software\\Fits", &values);
  EXPECT_TRUE(values.hasInstPath && values.hasDataPath && values.hasInstMode);
  EXPECT_EQ(std::strlen(values.instPath), 259u);
  EXPECT_STREQ(values.dataPath, "D:\\Data");
  EXPECT_EQ(values.instMode, -3);

  PlatReadInstallValues("Software\\Bad Mode", &values);
  EXPECT_FALSE(values.hasInstMode);

  PlatReadInstallValues("Software\\Absent", &values);
  EXPECT_FALSE(values.keyOpened || values.hasInstPath);
  unsetenv("UPDATER_REGISTRY");
  PlatReadInstallValues("software\\example works\\example story", &values);
  EXPECT_FALSE(values.keyOpened);
}

TEST_F(PosixFiles, TemporaryFolderEndsWithASeparator) {
  const char* saved = std::getenv("TMPDIR");
  const std::string restore = saved ? saved : "";
  char buffer[64];
  setenv("TMPDIR", "/var/tmp", 1);
  ASSERT_TRUE(PlatTempFolder(buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "/var/tmp/");
  unsetenv("TMPDIR");
  ASSERT_TRUE(PlatTempFolder(buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "/tmp/");
  EXPECT_FALSE(PlatTempFolder(buffer, 5));
  if (saved) setenv("TMPDIR", restore.c_str(), 1);
}

TEST_F(PosixFiles, PackageBehindAnExecutableOrNamed) {
  // The trailer gives the size of the package before it, and only one that
  // fits the file is one.
  uint8_t trailer[kPackageTrailerSize];
  EncodePackageTrailer(100, trailer);
  uint64_t size = 0;
  ASSERT_TRUE(DecodePackageTrailer(trailer, 100 + kPackageTrailerSize, &size));
  EXPECT_EQ(size, 100u);
  EXPECT_FALSE(DecodePackageTrailer(trailer, 99 + kPackageTrailerSize, &size));
  trailer[15] = 'x';
  EXPECT_FALSE(DecodePackageTrailer(trailer, 1000, &size));

  Put("package.qw3", "PKG");
  setenv("UPDATER_PACKAGE", Path("package.qw3").c_str(), 1);
  const uint8_t* image = nullptr;
  uint32_t imageSize = 0;
  ASSERT_TRUE(PlatLocatePackage(&image, &imageSize));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(image), imageSize), "PKG");
  // Released bytes are read again from the file, unchanged, whether the
  // range is whole pages or not.
  std::string pages;
  for (int i = 0; i < 20000; ++i) pages += char('a' + i % 23);
  Put("package.qw3", pages);
  ASSERT_TRUE(PlatLocatePackage(&image, &imageSize));
  PlatReleasePackageBytes(image + 5000, 4000);
  PlatReleasePackageBytes(image, imageSize);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(image), imageSize), pages);
  Put("package.qw3", "");
  EXPECT_FALSE(PlatLocatePackage(&image, &imageSize));
  unsetenv("UPDATER_PACKAGE");

  // The record: none without UPDATER_INTEGRITY; a named file that cannot be
  // read is there but empty, so that it counts as damaged.
  EXPECT_FALSE(PlatLocateIntegrityRecord(&image, &imageSize));
  Put("record.bin", "REC");
  setenv("UPDATER_INTEGRITY", Path("record.bin").c_str(), 1);
  ASSERT_TRUE(PlatLocateIntegrityRecord(&image, &imageSize));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(image), imageSize), "REC");
  setenv("UPDATER_INTEGRITY", Path("missing.bin").c_str(), 1);
  ASSERT_TRUE(PlatLocateIntegrityRecord(&image, &imageSize));
  EXPECT_EQ(imageSize, 0u);
  unsetenv("UPDATER_INTEGRITY");
}

}  // namespace
