// The Windows platform layer against the real system calls (run under Wine
// with the Japanese ANSI code page): files, volumes, profiles, the temporary
// folder and the shell's copy.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "../file_reader_check.h"
#include "../new_file.h"

namespace {

std::string ReadAll(const std::string& path) {
  uint32_t size = 0;
  uint8_t* bytes = PlatReadWholeFile(path.c_str(), &size);
  if (!bytes) return "<missing>";
  std::string text(reinterpret_cast<char*>(bytes), size);
  std::free(bytes);
  return text;
}

void WriteRaw(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(file);
}

bool RunningOnWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// Names in a folder, so a test can see that no temporary file was left.
int CountEntries(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do {
    if (std::string(found.cFileName) != "." &&
        std::string(found.cFileName) != "..")
      ++count;
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return count;
}

class Win32Files : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_TRUE(PlatTempFolder(temp, sizeof temp));
    folder_ = std::string(temp) + "updtest" +
              std::to_string(GetCurrentProcessId()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(PlatCreateFolder(folder_.c_str()));
  }
  void TearDown() override {
    std::string from = folder_ + '\0';
    SHFILEOPSTRUCTA remove = {};
    remove.wFunc = FO_DELETE;
    remove.pFrom = from.c_str();
    remove.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    SHFileOperationA(&remove);
  }
  std::string Path(const std::string& name) const {
    return folder_ + "\\" + name;
  }

  std::string folder_;
};

constexpr uint64_t kStamp = 0x01D2B3C4D5E6F708ull;  // some day in 2017

TEST_F(Win32Files, WriteStampsAllThreeTimesAndReadsBack) {
  const std::string path = Path("a.dat");
  ASSERT_TRUE(WriteInPieces(path.c_str(), "hello", 5, &kStamp));
  // Times first: reading the content may move the last-access time.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  FILETIME times[3];
  ASSERT_TRUE(GetFileTime(file, &times[0], &times[1], &times[2]));
  CloseHandle(file);
  // Wine keeps files on a Unix file system, where no creation time can be
  // set; real Windows checks all three.
  for (int i = RunningOnWine() ? 1 : 0; i < 3; ++i)
    EXPECT_EQ((uint64_t(times[i].dwHighDateTime) << 32) |
                  times[i].dwLowDateTime,
              kStamp)
        << "time " << i;
  uint64_t lastWrite = 0;
  ASSERT_TRUE(PlatReadLastWriteTime(path.c_str(), &lastWrite));
  EXPECT_EQ(lastWrite, kStamp);
  EXPECT_EQ(ReadAll(path), "hello");
  EXPECT_EQ(CountEntries(folder_), 1);
}

TEST_F(Win32Files, WriteReplacesWithoutLeavingTemporaryFiles) {
  const std::string path = Path("b.dat");
  WriteRaw(path, "an older and longer content");
  ASSERT_TRUE(WriteInPieces(path.c_str(), "new", 3, nullptr));
  EXPECT_EQ(ReadAll(path), "new");
  ASSERT_TRUE(WriteInPieces(path.c_str(), "", 0, &kStamp));
  EXPECT_EQ(ReadAll(path), "");
  EXPECT_EQ(CountEntries(folder_), 1);
}

TEST_F(Win32Files, FailedWriteLeavesTargetAndNoTemporaryFile) {
  // A write that fails half-way (here: its source bytes cannot be read, as
  // a full disk would fail it) must leave the old file whole.
  const std::string old = Path("old.dat");
  WriteRaw(old, "keep me");
  void* unreadable = VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_NE(unreadable, nullptr);
  EXPECT_FALSE(WriteInPieces(old.c_str(), unreadable, 65536, &kStamp));
  VirtualFree(unreadable, 0, MEM_RELEASE);
  EXPECT_EQ(ReadAll(old), "keep me");

  // A folder in the way, and a folder that does not exist.
  const std::string sub = Path("sub");
  ASSERT_TRUE(PlatCreateFolder(sub.c_str()));
  EXPECT_FALSE(WriteInPieces(sub.c_str(), "x", 1, nullptr));
  EXPECT_FALSE(
      WriteInPieces(Path("none\\x.dat").c_str(), "x", 1, nullptr));
  EXPECT_EQ(CountEntries(folder_), 2);
  EXPECT_EQ(CountEntries(sub), 0);
}

TEST_F(Win32Files, DoubleByteNamesWhoseSecondByteIsABackslash) {
  // ソ is 0x83 0x5C in Shift-JIS: the file lands under its own name, in its
  // folder, with no temporary file left beside it.
  const std::string path = Path("ソフト.dat");
  ASSERT_EQ(std::string("ソ"), "\x83\x5C");
  ASSERT_TRUE(WriteInPieces(path.c_str(), "sjis", 4, &kStamp));
  EXPECT_EQ(ReadAll(path), "sjis");
  EXPECT_EQ(CountEntries(folder_), 1);
}

TEST_F(Win32Files, ReadWholeFile) {
  uint32_t size = 77;
  EXPECT_EQ(PlatReadWholeFile(Path("missing").c_str(), &size), nullptr);
  EXPECT_EQ(size, 77u);

  WriteRaw(Path("empty"), "");
  uint8_t* empty = PlatReadWholeFile(Path("empty").c_str(), &size);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(size, 0u);
  std::free(empty);

  std::string big(300000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 131 + (i >> 9));
  WriteRaw(Path("big"), big);
  EXPECT_EQ(ReadAll(Path("big")), big);
}

TEST_F(Win32Files, FileReaderReadsAtOffsets) {
  WriteRaw(Path("digits"), "0123456789");
  CreateDirectoryA(Path("folder").c_str(), nullptr);
  CheckFileReader(Path("digits").c_str(), Path("folder").c_str(), Path("missing").c_str());
}

TEST_F(Win32Files, AttributesFoldersAndDeletion) {
  unsigned attributes = 99;
  EXPECT_FALSE(PlatGetAttributes(Path("missing").c_str(), &attributes));

  ASSERT_TRUE(PlatGetAttributes(folder_.c_str(), &attributes));
  EXPECT_EQ(attributes, kPlatAttrFolder);
  EXPECT_FALSE(PlatCreateFolder(folder_.c_str()));

  const std::string path = Path("f.dat");
  WriteRaw(path, "x");
  ASSERT_TRUE(SetFileAttributesA(
      path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(PlatGetAttributes(path.c_str(), &attributes));
  EXPECT_EQ(attributes, kPlatAttrReadOnly);
  EXPECT_FALSE(PlatDeleteFile(path.c_str()));
  ASSERT_TRUE(PlatSetNormalAttributes(path.c_str()));
  // Wine reports every file as archived; what matters is that nothing hides
  // or protects the file any more.
  EXPECT_EQ(GetFileAttributesA(path.c_str()) &
                (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            0u);
  EXPECT_TRUE(PlatDeleteFile(path.c_str()));
  EXPECT_FALSE(PlatDeleteFile(path.c_str()));
  EXPECT_FALSE(PlatSetNormalAttributes(path.c_str()));
  uint64_t time = 5;
  EXPECT_FALSE(PlatReadLastWriteTime(path.c_str(), &time));
  EXPECT_EQ(time, 5u);
}

TEST_F(Win32Files, ProfileReadsCutAtCapacity) {
  const std::string ini = Path("UPDATE.INI");
  WriteRaw(ini, "[Setup]\r\ngamedir = \"Example Story\"\r\nEmpty=\r\n");
  char value[8];
  EXPECT_EQ(PlatReadProfileString("SETUP", "GameDir", value, sizeof value,
                                  ini.c_str()),
            7u);
  EXPECT_STREQ(value, "Example");
  char whole[64];
  EXPECT_EQ(PlatReadProfileString("SETUP", "GameDir", whole, sizeof whole,
                                  ini.c_str()),
            13u);
  EXPECT_STREQ(whole, "Example Story");
  EXPECT_EQ(PlatReadProfileString("SETUP", "Empty", whole, sizeof whole,
                                  ini.c_str()),
            0u);
  EXPECT_EQ(PlatReadProfileString("SETUP", "Missing", whole, sizeof whole,
                                  ini.c_str()),
            0u);
  EXPECT_STREQ(whole, "");
  EXPECT_EQ(PlatReadProfileString("SETUP", "GameDir", whole, sizeof whole,
                                  Path("none.ini").c_str()),
            0u);
}

TEST_F(Win32Files, ShellCopiesFilesAndFolders) {
  const std::string source = Path("disc");
  ASSERT_TRUE(PlatCreateFolder(source.c_str()));
  WriteRaw(source + "\\Op.mpg", "movie");
  // A file into a folder that does not exist yet: created without a question.
  const std::string from = source + "\\Op.mpg" + '\0';
  const std::string to = Path("inst\\Movie\\Op.mpg") + '\0';
  EXPECT_EQ(PlatShellCopy(nullptr, from.c_str(), to.c_str(), true),
            kPlatCopyDone);
  EXPECT_EQ(ReadAll(Path("inst\\Movie\\Op.mpg")), "movie");

  // A folder lands under its own name inside the destination.
  const std::string folderFrom = source + '\0';
  const std::string folderTo = Path("inst") + '\0';
  EXPECT_EQ(PlatShellCopy(nullptr, folderFrom.c_str(), folderTo.c_str(), false),
            kPlatCopyDone);
  EXPECT_EQ(ReadAll(Path("inst\\disc\\Op.mpg")), "movie");

  const std::string missing = Path("nothing") + '\0';
  EXPECT_EQ(PlatShellCopy(nullptr, missing.c_str(), folderTo.c_str(), false),
            kPlatCopyFailed);
}

TEST(Win32Volumes, DiskSpaceAndDriveTypes) {
  uint64_t free = 0, total = 0, totalFree = 0;
  ASSERT_TRUE(PlatQueryDiskSpace("C:", &free, &total, &totalFree));
  EXPECT_GT(total, 0u);
  EXPECT_LE(free, total);
  EXPECT_LE(free, totalFree);
  ULARGE_INTEGER systemTotal;
  ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", nullptr, &systemTotal, nullptr));
  EXPECT_EQ(total, systemTotal.QuadPart);
  uint64_t again = 0;
  EXPECT_TRUE(PlatQueryDiskSpace("C:\\windows", &again, &total, nullptr));

  // A letter no drive uses.
  const DWORD drives = GetLogicalDrives();
  char unused[3] = "?:";
  for (int letter = 25; letter >= 3; --letter)
    if (!(drives & (1u << letter))) unused[0] = char('A' + letter);
  ASSERT_NE(unused[0], '?');
  EXPECT_FALSE(PlatQueryDiskSpace(unused, &free, &total, nullptr));
  EXPECT_FALSE(PlatIsCdromDrive(unused));
  EXPECT_FALSE(PlatIsCdromDrive("C:"));

  // The Wine test script maps a folder as a CD-ROM drive and names it here.
  const char* cdrom = std::getenv("UPD_TEST_CDROM");
  if (!cdrom) GTEST_SKIP() << "no CD-ROM drive mapped (UPD_TEST_CDROM)";
  EXPECT_TRUE(PlatIsCdromDrive(cdrom));
}

TEST(Win32Process, TemporaryFolderAndPackage) {
  char temp[MAX_PATH];
  ASSERT_TRUE(PlatTempFolder(temp, sizeof temp));
  const size_t length = std::string(temp).size();
  ASSERT_GT(length, 3u);
  EXPECT_EQ(temp[length - 1], '\\');
  EXPECT_TRUE(PlatTempFolder(temp, length + 1));
  EXPECT_FALSE(PlatTempFolder(temp, length));

  // The test program carries no package and no integrity record.
  const uint8_t* image = nullptr;
  uint32_t size = 0;
  EXPECT_FALSE(PlatLocatePackage(&image, &size));
  EXPECT_FALSE(PlatLocateIntegrityRecord(&image, &size));
  EXPECT_EQ(PlatFindWindow(nullptr, "no such updater window 8d1f"), nullptr);
}

}  // namespace
