// Patch entries in the run: the old version picked before anything is
// written, a file already updated left alone, the whole file as fallback,
// and every failure leaving the installed file as it was.
#include <cstring>

#include "core/patch_entry.h"
#include "package/package.h"
#include "posix_hooks.h"
#include "program_fixture.h"

namespace {

constexpr char kWriteFailed[] = "ファイルの書き込みに失敗しました";
constexpr char kInterrupted[] = "アップデートが中断されました";
constexpr uint64_t kOldTime = kPackageTime - 864000000000ull;

// A script of numbered lines that compresses only so far; `edition`
// rewrites every 97th line, so the versions differ in a few places.
std::string Script(int edition) {
  std::string text;
  uint32_t seed = 12345;
  for (int line = 0; line < 3000; ++line) {
    text += std::to_string(line) + ": ";
    for (int word = 0; word < 6; ++word) {
      seed = seed * 1103515245u + 12345u;
      text += "abcdefghijklmnop"[(seed >> 16) % 16];
      text += "qrstuvwxyz"[(seed >> 20) % 10];
      text += ' ';
    }
    if (line % 97 == 0) text += "edition " + std::to_string(edition);
    text += "\r\n";
  }
  return text;
}

class PatchRunTest : public ProgramTest {
 protected:
  // Script.txt as a patch entry from editions 1 and 2 to edition 3, after
  // a plain Readme.txt.
  void UsePatchedScript(bool keepWhole, const std::string& mode = "") {
    UseStandardGame("UpdateFile00=Readme.txt\r\nUpdateFile01=" + mode + "Script.txt\r\n");
    AddPackageFile("Readme.txt", "new readme");
    AddPatchedFile("Script.txt", Script(3), {Script(1), Script(2), Script(1)}, keepWhole);
  }
  // The package's record of Script.txt.
  static PackageEntry ScriptEntry(const std::vector<uint8_t>& image, uint32_t* offset) {
    PackageDirectory* directory =
        OpenPackageImage(image.data(), static_cast<uint32_t>(image.size()));
    PackageEntry entry = {};
    EXPECT_TRUE(directory && FindPackageEntry(directory, "Script.txt", &entry, offset));
    std::free(directory);
    return entry;
  }
  std::string ScriptTarget() const { return std::string(kInstPath) + "\\Script.txt"; }
  // The texts of the boxes shown since the first `seen`.
  std::vector<std::string> BoxesSince(size_t seen) const {
    std::vector<std::string> texts;
    for (size_t i = seen; i < ui_.boxes().size(); ++i) texts.push_back(ui_.boxes()[i].text);
    return texts;
  }
};

TEST_F(PatchRunTest, EachOldVersionReachesTheNewFileAndASecondRunWritesNothing) {
  UsePatchedScript(false);
  const std::vector<uint8_t> image = BuildPackageImage(true);
  uint32_t offset = 0;
  const PackageEntry entry = ScriptEntry(image, &offset);
  PatchEntryInfo info;
  ASSERT_TRUE(IsPatchEntry(entry));
  ASSERT_TRUE(ReadPatchEntry(image.data() + offset, entry.StoredSize, entry.FileSize, &info));
  EXPECT_EQ(info.VersionCount, 2u) << "identical old versions share one patch";
  EXPECT_LT(entry.StoredSize, Script(3).size() / 20);

  for (int edition : {1, 2}) {
    SCOPED_TRACE(edition);
    WriteFile(Installed("Script.txt"), Script(edition), kOldTime);
    PressNext(3);
    EXPECT_EQ(RunUpdaterWith(image), 1);
    EXPECT_EQ(ReadFile(Installed("Script.txt")), Script(3));
    EXPECT_EQ(LastWriteTime(Installed("Script.txt")), kPackageTime);
    EXPECT_FALSE(TemporaryFilesLeft());

    // Already the result: finished, and the file is not touched again.
    WriteFile(Installed("Script.txt"), Script(3), kOldTime);
    PressNext(3);
    EXPECT_EQ(RunUpdaterWith(image), 1);
    EXPECT_EQ(LastWriteTime(Installed("Script.txt")), kOldTime);
  }
  EXPECT_TRUE(ui_.boxes().empty());
}

TEST_F(PatchRunTest, AnUnknownVersionIsRefusedBeforeAnythingIsWritten) {
  UsePatchedScript(false);
  std::string edited = Script(2);
  edited[5000] ^= 1;
  const std::string* const changed = &edited;
  for (const std::string* installed : {changed, static_cast<const std::string*>(nullptr)}) {
    SCOPED_TRACE(installed ? "changed" : "missing");
    std::filesystem::remove(Installed("Script.txt"));
    if (installed) WriteFile(Installed("Script.txt"), *installed, kOldTime);
    WriteFile(Installed("Readme.txt"), "old readme", kOldTime);
    PressNext(2);
    const size_t seen = ui_.boxes().size();
    EXPECT_EQ(RunUpdater(), 0);
    EXPECT_EQ(BoxesSince(seen), (std::vector<std::string>{
                                    "更新するファイルのバージョンが違います。\r" + ScriptTarget(),
                                    kInterrupted}));
    EXPECT_EQ(ReadFile(Installed("Readme.txt")), "old readme");
    EXPECT_EQ(std::filesystem::exists(Installed("Script.txt")), installed != nullptr);
    if (installed) {
      EXPECT_EQ(ReadFile(Installed("Script.txt")), *installed);
    }
  }
}

TEST_F(PatchRunTest, ModesThatPassAFileOverDoNotAskItsVersion) {
  // Newer than the package: spared; overwrite mode and no file: passed over.
  UseStandardGame("UpdateFile00=u,Script.txt\r\nUpdateFile01=o,Other.txt\r\n");
  AddPatchedFile("Script.txt", Script(3), {Script(1)});
  AddPatchedFile("Other.txt", Script(3), {Script(1)});
  WriteFile(Installed("Script.txt"), "the player's own", kLaterTime);
  PressNext(3);
  EXPECT_EQ(RunUpdater(), 1);
  EXPECT_TRUE(ui_.boxes().empty());
  EXPECT_EQ(ReadFile(Installed("Script.txt")), "the player's own");
  EXPECT_FALSE(std::filesystem::exists(Installed("Other.txt")));
}

TEST_F(PatchRunTest, TheWholeFileServesAnUnknownOrMissingVersion) {
  UsePatchedScript(true);
  for (bool missing : {false, true}) {
    SCOPED_TRACE(missing);
    std::filesystem::remove(Installed("Script.txt"));
    if (!missing) WriteFile(Installed("Script.txt"), "edited by the player", kOldTime);
    PressNext(3);
    EXPECT_EQ(RunUpdater(), 1);
    EXPECT_EQ(ReadFile(Installed("Script.txt")), Script(3));
    EXPECT_EQ(LastWriteTime(Installed("Script.txt")), kPackageTime);
  }
  EXPECT_TRUE(ui_.boxes().empty());
}

TEST_F(PatchRunTest, ADamagedPatchOrAFailedReadLeavesTheOldFile) {
  enum Fault { kStream, kRecord, kResultCrc, kRead };
  UsePatchedScript(false);
  const std::vector<uint8_t> built = BuildPackageImage(true);
  uint32_t offset = 0;
  const PackageEntry entry = ScriptEntry(built, &offset);
  for (Fault fault : {kStream, kRecord, kResultCrc, kRead}) {
    SCOPED_TRACE(fault);
    std::vector<uint8_t> image = built;
    if (fault == kStream) {
      // The middle of the first version's patch.
      PatchEntryInfo info;
      ASSERT_TRUE(ReadPatchEntry(&built[offset], entry.StoredSize, entry.FileSize, &info));
      const PatchVersion first = ReadPatchVersion(&built[offset], info, 0);
      image[offset + first.PatchOffset + first.PatchSize / 2] ^= 0x55;
    } else if (fault == kRecord) {
      image[offset + 4] = 0;  // no versions
    } else if (fault == kResultCrc) {
      image[offset] ^= 1;  // the patch gives a result the record does not know
    }
    WriteFile(Installed("Script.txt"), Script(1), kOldTime);
    WriteFile(Installed("Readme.txt"), "old readme", kOldTime);
    ui_.Press(kIdNext);
    ui_.Press([fault] {
      // The whole file once for its CRC-32, then the patch's first reads.
      if (fault == kRead) PosixFailReadsAfter(Script(1).size() + 1000);
      return kIdNext;
    });
    const size_t seen = ui_.boxes().size();
    EXPECT_EQ(RunUpdaterWith(image), 0);
    PosixResetHooks();
    EXPECT_EQ(BoxesSince(seen), (std::vector<std::string>{kWriteFailed, kInterrupted}));
    EXPECT_EQ(ReadFile(Installed("Script.txt")), Script(1));
    EXPECT_EQ(LastWriteTime(Installed("Script.txt")), kOldTime);
    // A damaged record is found before the first write.
    EXPECT_EQ(ReadFile(Installed("Readme.txt")), fault == kRecord ? "old readme" : "new readme");
    EXPECT_FALSE(TemporaryFilesLeft());
  }
}

}  // namespace
