// Writing package entries to real files: times, the newer-only rule,
// attributes, free space and failed writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/state.h"
#include "core/le.h"
#include "message_box_capture.h"
#include "pack/package_writer.h"
#include "package/extract.h"
#include "package/package.h"
#include "package/piece_decoder.h"
#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;

// An odd time with sub-second ticks, so that any rounding shows.
constexpr uint64_t kEntryTime = 133'123'456'789'012'345ull;

struct FileTimes {
  uint64_t creation;  // 0 where the system keeps none that can be set
  uint64_t access;
  uint64_t write;
};

// All three times, read without reading the file (which could move its
// last-access time).
FileTimes TimesOf(const std::string& path) {
  FileTimes times{};
#ifdef _WIN32
  HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  FILETIME c, a, w;
  EXPECT_TRUE(GetFileTime(file, &c, &a, &w));
  CloseHandle(file);
  auto ticks = [](const FILETIME& t) {
    return uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime;
  };
  times = {ticks(c), ticks(a), ticks(w)};
#else
  struct stat info;
  EXPECT_EQ(stat(path.c_str(), &info), 0);
  auto ticks = [](const timespec& t) {
    return (static_cast<uint64_t>(t.tv_sec) + 11644473600ull) * 10000000ull +
           static_cast<uint64_t>(t.tv_nsec) / 100;
  };
  times = {0, ticks(info.st_atim), ticks(info.st_mtim)};
#endif
  return times;
}

std::vector<uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

class ExtractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetUpdaterState();
    folder_ = fs::temp_directory_path() /
              ("extract_" + std::string(::testing::UnitTest::GetInstance()
                                            ->current_test_info()
                                            ->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    for (int i = 0; i < 400; ++i) script_ += "line " + std::to_string(i % 7) + "\r\n";
  }
  void TearDown() override {
#ifndef _WIN32
    EXPECT_TRUE(capture_.Take().empty());
    PosixResetHooks();
#endif
    ResetPackageState();
    fs::remove_all(folder_);
  }

  // Opens a package of UPDATE.INI (stored) and Script.dat (compressed);
  // `fileSizeDelta` misstates the compressed entry's unpacked size.
  void OpenSample(int64_t fileSizeDelta = 0) {
    OpenPackageOf({{"UPDATE.INI", Bytes("[SETUP]\r\nGameTitle=T\r\n"), kEntryTime,
                    EntryStorage::Stored},
                   {"Script.dat", Bytes(script_), kEntryTime, EntryStorage::Compressed}},
                  fileSizeDelta);
  }

  // Opens a package of `inputs`; `fileSizeDelta` misstates the second
  // entry's unpacked size.
  void OpenPackageOf(const std::vector<PackageInput>& inputs, int64_t fileSizeDelta = 0) {
    ResetPackageState();
    PackageOptions options;
    options.level = CompressLevel::Greedy;  // the fast one: some entries are big
    ASSERT_EQ(BuildPackage(inputs, options, &image_).result, PackageWriteResult::Ok);
    if (fileSizeDelta) {
      uint8_t* record = image_.data() + LoadLe32(image_.data() + kHeaderDirectoryOffsetAt) +
                        kPackageEntrySize + kEntryFileSizeAt;
      const uint32_t size = LoadLe32(record) + static_cast<uint32_t>(fileSizeDelta);
      for (int i = 0; i < 4; ++i) record[i] = static_cast<uint8_t>(size >> (8 * i));
    }
    PackageImage = image_.data();
    PackageImageSize = static_cast<uint32_t>(image_.size());
    OpenDirectory = OpenPackage();
    ASSERT_NE(OpenDirectory, nullptr);
    DirectoryEntries = OpenDirectory + kPackageHeaderSize;
  }

  std::string Path(const char* name) const { return (folder_ / name).string(); }

  static void Put(const std::string& path, const std::string& text,
                  uint64_t time) {
    ASSERT_EQ(WriteWholeFile(path.c_str(), text.data(),
                             static_cast<uint32_t>(text.size()), &time),
              1);
  }

  static std::string Read(const std::string& path) {
    uint32_t size = 0;
    uint8_t* data = ReadWholeFile(path.c_str(), &size);
    if (!data) return "<missing>";
    std::string text(reinterpret_cast<char*>(data), size);
    std::free(data);
    return text;
  }

  static bool ReadOnly(const std::string& path) {
    unsigned attributes = 0;
    EXPECT_TRUE(PlatGetAttributes(path.c_str(), &attributes));
    return attributes & kPlatAttrReadOnly;
  }

  static void MakeReadOnly(const std::string& path) {
    fs::permissions(path,
                    fs::perms::owner_write | fs::perms::group_write |
                        fs::perms::others_write,
                    fs::perm_options::remove);
    ASSERT_TRUE(ReadOnly(path));
  }

  fs::path folder_;
  std::string script_;
  std::vector<uint8_t> image_;
#ifndef _WIN32
  MessageBoxCapture capture_;
#endif
};

TEST_F(ExtractTest, WritesStoredAndCompressedEntriesWithTheirTime) {
  OpenSample();
  const std::string ini = Path("UPDATE.INI");
  const std::string script = Path("Script.dat");
  // Names are found whatever their case.
  ASSERT_EQ(ExtractEntry(ini.c_str(), "update.ini", 0), 1);
  ASSERT_EQ(ExtractEntry(script.c_str(), "SCRIPT.DAT", 1), 1);
  for (const std::string& path : {ini, script}) {
    const FileTimes times = TimesOf(path);
    EXPECT_EQ(times.write, kEntryTime);
    EXPECT_EQ(times.access, kEntryTime);
#ifdef _WIN32
    EXPECT_EQ(times.creation, kEntryTime);
#endif
  }
  EXPECT_EQ(Read(ini), "[SETUP]\r\nGameTitle=T\r\n");
  EXPECT_EQ(Read(script), script_);
}

TEST_F(ExtractTest, NewerOnlySparesAFileOneTickLater) {
  OpenSample();
  const std::string target = Path("Script.dat");
  Put(target, "player's", kEntryTime + 1);
  EXPECT_EQ(ExtractEntry(target.c_str(), "Script.dat", 1), 1);
  EXPECT_EQ(Read(target), "player's");
  EXPECT_EQ(TimesOf(target).write, kEntryTime + 1);

  // Without the rule it is replaced.
  EXPECT_EQ(ExtractEntry(target.c_str(), "Script.dat", 0), 1);
  EXPECT_EQ(Read(target), script_);

  for (uint64_t time : {kEntryTime, kEntryTime - 1}) {
    Put(target, "old", time);
    EXPECT_EQ(ExtractEntry(target.c_str(), "Script.dat", 1), 1);
    EXPECT_EQ(TimesOf(target).write, kEntryTime);
    EXPECT_EQ(Read(target), script_);
  }
}

TEST_F(ExtractTest, ReadOnlyTargetIsMadeNormalEvenWhenSpared) {
  OpenSample();
  const std::string target = Path("Script.dat");
  Put(target, "newer", kEntryTime + 1);
  MakeReadOnly(target);
  EXPECT_EQ(ExtractEntry(target.c_str(), "Script.dat", 1), 1);
  EXPECT_EQ(Read(target), "newer");
  EXPECT_FALSE(ReadOnly(target));

  MakeReadOnly(target);
  EXPECT_EQ(ExtractEntry(target.c_str(), "Script.dat", 0), 1);
  EXPECT_EQ(Read(target), script_);
  EXPECT_FALSE(ReadOnly(target));
}

TEST_F(ExtractTest, FolderOrOverlongTargetFailsSilently) {
  OpenSample();
  const std::string target = Path("Script.dat");
  fs::create_directory(target);
  Put(target + "/inside", "kept", kEntryTime);
  EXPECT_EQ(ExtractEntry(target.c_str(), "Script.dat", 0), 0);
  EXPECT_TRUE(fs::is_directory(target));
  EXPECT_EQ(Read(target + "/inside"), "kept");

  // 260 bytes with the name: one more than a path may hold.
  const std::string stem = Path("");
  const std::string overlong = stem + std::string(260 - stem.size(), 'x');
  ASSERT_EQ(overlong.size(), 260u);
  EXPECT_EQ(ExtractEntry(overlong.c_str(), "UPDATE.INI", 0), 0);
  EXPECT_EQ(ExtractEntry(overlong.substr(0, 259).c_str(), "UPDATE.INI", 0), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_),
                          fs::directory_iterator()),
            2);
}

TEST_F(ExtractTest, BlockOfTheWrongSizeIsNotWritten) {
  for (int delta : {-1, 1}) {
    SCOPED_TRACE(delta);
    OpenSample(delta);
    const std::string target = Path("Script.dat");
    Put(target, "old", kEntryTime - 1);
    EXPECT_EQ(ExtractEntry(target.c_str(), "Script.dat", 0), 0);
    EXPECT_EQ(Read(target), "old");
  }
}

// Bytes that repeat at distances up to the longest match, so that matches
// reach back across the end of every piece.
std::vector<uint8_t> Repetitive(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    const size_t back = 1 + (seed >> 8) % 8192;
    bytes[i] = (i >= back && (seed >> 24) < 240) ? bytes[i - back] : uint8_t(seed >> 16);
  }
  return bytes;
}

TEST_F(ExtractTest, EntriesOfEverySizeAroundAPieceAreWrittenWhole) {
  const size_t sizes[] = {0, 1, kPieceSize - 1, kPieceSize, kPieceSize + 1,
                          2 * kPieceSize + 1};
  std::vector<PackageInput> inputs;
  for (size_t size : sizes) {
    inputs.push_back({"E" + std::to_string(size), Repetitive(size, uint32_t(size)),
                      kEntryTime, EntryStorage::Compressed});
    inputs.push_back({"S" + std::to_string(size), Repetitive(size, uint32_t(size) + 1),
                      kEntryTime, EntryStorage::Stored});
  }
  OpenPackageOf(inputs);
  for (const PackageInput& input : inputs) {
    SCOPED_TRACE(input.name);
    const std::string target = Path(input.name.c_str());
    Put(target, "old", kEntryTime - 1);
    ASSERT_EQ(ExtractEntry(target.c_str(), input.name.c_str(), 0), 1);
    EXPECT_TRUE(Read(target) == std::string(input.data.begin(), input.data.end()));
    EXPECT_EQ(TimesOf(target).write, kEntryTime);
    fs::remove(target);
  }
}

TEST_F(ExtractTest, DamageFoundInALaterPieceKeepsTheOldFile) {
  // Misstated by one either way: the last piece overruns the size, or the
  // block ends short of it.
  for (int delta : {-1, 1}) {
    SCOPED_TRACE(delta);
    OpenPackageOf({{"UPDATE.INI", Bytes("x"), kEntryTime, EntryStorage::Stored},
                   {"Big.dat", Repetitive(2 * kPieceSize + 100, 7), kEntryTime,
                    EntryStorage::Compressed}},
                  delta);
    const std::string target = Path("Big.dat");
    Put(target, "the player's file", kEntryTime - 1);
    EXPECT_EQ(ExtractEntry(target.c_str(), "Big.dat", 0), 0);
    EXPECT_EQ(Read(target), "the player's file");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
  }
}

// Message boxes and injected faults: the posix platform's test hooks.
#ifndef _WIN32

TEST_F(ExtractTest, WriteFailingInALaterPieceKeepsTheOldFile) {
  OpenPackageOf({{"UPDATE.INI", Bytes("x"), kEntryTime, EntryStorage::Stored},
                 {"Big.dat", Repetitive(3 * kPieceSize, 3), kEntryTime,
                  EntryStorage::Compressed}});
  const std::string target = Path("Big.dat");
  Put(target, "the player's file", kEntryTime - 1);
  PosixFailWritesAfter(2 * kPieceSize + 5);
  EXPECT_EQ(ExtractEntry(target.c_str(), "Big.dat", 0), 0);
  EXPECT_EQ(Read(target), "the player's file");
  EXPECT_EQ(TimesOf(target).write, kEntryTime - 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(ExtractTest, MissingEntryIsReported) {
  OpenSample();
  std::strcpy(WindowCaption, "Title アップデート");
  EXPECT_EQ(ExtractEntry(Path("X.dat").c_str(), "X.dat", 0), 0);
  const auto boxes = capture_.Take();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Can't Find File in Resource !!");
  EXPECT_EQ(boxes[0].caption, "Title アップデート");
  EXPECT_EQ(boxes[0].buttons, kPlatButtonsOk);
  EXPECT_EQ(boxes[0].icon, kPlatIconError);
  EXPECT_FALSE(fs::exists(Path("X.dat")));
}

TEST_F(ExtractTest, EntryFitsExactlyTheFreeBytes) {
  OpenSample();
  const std::string target = Path("Script.dat");
  PosixSetFreeBytes(script_.size());
  EXPECT_EQ(ExtractEntry(target.c_str(), "Script.dat", 0), 1);

  // One byte short fails first, even where the newer-only rule would spare.
  Put(target, "newer", kEntryTime + 1);
  PosixSetFreeBytes(script_.size() - 1);
  EXPECT_EQ(ExtractEntry(target.c_str(), "Script.dat", 1), 0);
  auto boxes = capture_.Take();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "ディスク容量が足りません。" + folder_.string() +
                               "/ ドライブに 1 バイトの空き容量が必要です");
  EXPECT_EQ(boxes[0].caption, "UPDATE");
  EXPECT_EQ(Read(target), "newer");

  // A drive-letter target names its drive.
  setenv("UPDATER_DRIVES", ("D=" + folder_.string()).c_str(), 1);
  PosixSetFreeBytes(0);
  EXPECT_EQ(ExtractEntry("D:\\Script.dat", "Script.dat", 0), 0);
  unsetenv("UPDATER_DRIVES");
  boxes = capture_.Take();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "ディスク容量が足りません。D: ドライブに " +
                std::to_string(script_.size()) + " バイトの空き容量が必要です");
}

TEST_F(ExtractTest, TargetWithoutADriveIsCheckedOnItsFolder) {
  OpenSample();
  PosixSetFreeBytes(0);
  const std::string tail = " ドライブに " + std::to_string(script_.size()) +
                           " バイトの空き容量が必要です";
  // "ソ" ends in 0x5C: not a separator.
  EXPECT_EQ(ExtractEntry("\\\\server\\share\\\x83\x5C.dat", "Script.dat", 0), 0);
  EXPECT_EQ(ExtractEntry("Script.dat", "Script.dat", 0), 0);
  const auto boxes = capture_.Take();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text,
            "ディスク容量が足りません。\\\\server\\share\\" + tail);
  EXPECT_EQ(boxes[1].text, "ディスク容量が足りません。." + tail);
}

TEST_F(ExtractTest, UnknownFreeSpaceCountsAsRoom) {
  OpenSample();
  PosixFailDiskQuery(true);
  EXPECT_EQ(ExtractEntry(Path("Script.dat").c_str(), "Script.dat", 0), 1);
  EXPECT_EQ(Read(Path("Script.dat")), script_);
}

TEST_F(ExtractTest, WriteFailingHalfWayKeepsTheOldFile) {
  OpenSample();
  const std::string target = Path("Script.dat");
  Put(target, "the player's file", kEntryTime - 1);
  PosixFailWritesAfter(script_.size() / 2);
  EXPECT_EQ(ExtractEntry(target.c_str(), "Script.dat", 0), 0);
  EXPECT_EQ(Read(target), "the player's file");
  EXPECT_EQ(TimesOf(target).write, kEntryTime - 1);
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_),
                          fs::directory_iterator()),
            1);
}

#endif

}  // namespace
