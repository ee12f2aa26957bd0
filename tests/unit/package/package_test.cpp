#include "package/package.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/le.h"
#include "pack/compress.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct FreeBlock {
  void operator()(PackageDirectory* p) const { std::free(p); }
};
using Directory = std::unique_ptr<PackageDirectory, FreeBlock>;

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

struct Entry {
  std::string name;
  uint32_t flags;
  uint64_t time;
  uint32_t fileSize;
  uint32_t storedSize;
};

Bytes Records(const std::vector<Entry>& entries) {
  Bytes out(entries.size() * 280, 0);
  for (size_t i = 0; i < entries.size(); ++i) {
    uint8_t* r = out.data() + i * 280;
    std::memcpy(r, entries[i].name.data(), entries[i].name.size());
    Put32(r + 260, entries[i].flags);
    Put32(r + 264, uint32_t(entries[i].time));
    Put32(r + 268, uint32_t(entries[i].time >> 32));
    Put32(r + 272, entries[i].fileSize);
    Put32(r + 276, entries[i].storedSize);
  }
  return out;
}

// A package laid out by hand, independent of the writer: each entry's data
// is its stored size of 0xAB bytes on a 16-byte boundary, then the directory.
Bytes HandPackage(const std::vector<Entry>& entries, bool compressed = false) {
  Bytes image(16, 0);
  for (const Entry& e : entries) {
    image.insert(image.end(), e.storedSize, 0xAB);
    image.resize((image.size() + 15) & ~size_t{15}, 0);
  }
  const uint32_t directoryOffset = uint32_t(image.size());
  Bytes records = Records(entries);
  if (compressed) {
    records = CompressBlock(records.data(), records.size(), CompressLevel::Greedy);
  }
  image.insert(image.end(), records.begin(), records.end());
  Put32(image.data(), kPackageMagic);
  Put32(image.data() + 4, compressed ? 1 : 0);
  Put32(image.data() + 8, directoryOffset);
  Put32(image.data() + 12, uint32_t(entries.size()));
  return image;
}

// Opens a copy of exactly the image's size, so an address checker sees any
// read past its end.
Directory Open(const Bytes& image, PackageCheck* check = nullptr) {
  Bytes copy(image);
  return Directory(OpenPackageImage(copy.data(), uint32_t(copy.size()), check));
}

uint32_t OffsetOf(const PackageDirectory* d, const char* name) {
  uint32_t offset = 0;
  EXPECT_TRUE(FindPackageEntry(d, name, nullptr, &offset)) << name;
  return offset;
}

const std::vector<Entry> kTwo = {
    {"UPDATE.INI", 1, 0x01D2345678ABCDEFull, 100, 100},
    {"Script.dat", 2, 0x0123456789ABCDEFull, 900, 5},
};

TEST(OpenPackage, PlainDirectoryGivesHeaderCopyAndRecords) {
  const Bytes image = HandPackage(kTwo);
  EXPECT_EQ(image.size(), 16 + 112 + 16 + 560u);
  Directory d = Open(image);
  ASSERT_TRUE(d);
  EXPECT_EQ(0, std::memcmp(d.get(), image.data(), 16));
  EXPECT_EQ(DirectoryEntryCount(d.get()), 2u);

  PackageEntry e;
  uint32_t offset = 0;
  ASSERT_TRUE(FindPackageEntry(d.get(), "script.DAT", &e, &offset));
  EXPECT_STREQ(e.Name, "Script.dat");
  EXPECT_EQ(e.Flags, 2u);
  EXPECT_EQ(e.LastWriteTime, 0x0123456789ABCDEFull);
  EXPECT_EQ(e.FileSize, 900u);
  EXPECT_EQ(e.StoredSize, 5u);
  EXPECT_EQ(offset, 128u);
}

TEST(OpenPackage, CompressedDirectoryKeepsHeaderAsItStands) {
  const Bytes image = HandPackage(kTwo, true);
  Directory d = Open(image);
  ASSERT_TRUE(d);
  EXPECT_EQ(0, std::memcmp(d.get(), image.data(), 16));
  EXPECT_EQ(ReadPackageHeader(d.get()).Flags, 1u);
  const Bytes records = Records(kTwo);
  EXPECT_EQ(0, std::memcmp(d.get() + 16, records.data(), records.size()));
}

TEST(OpenPackage, EmptyDirectoryPlainAndCompressed) {
  Bytes plain = HandPackage({});
  Directory d = Open(plain);
  ASSERT_TRUE(d);
  EXPECT_EQ(DirectoryEntryCount(d.get()), 0u);
  EXPECT_FALSE(FindPackageEntry(d.get(), "UPDATE.INI", nullptr, nullptr));

  // The 5-byte block that decodes to nothing.
  Bytes compressed = plain;
  Put32(compressed.data() + 4, 1);
  compressed.insert(compressed.end(), {0x00, 0x00, 0x00, 0x7E, 0xFF});
  EXPECT_TRUE(Open(compressed));
  // A closing control word after the end code is never read.
  compressed.insert(compressed.end(), {0x00, 0x00, 0x00, 0x80});
  EXPECT_TRUE(Open(compressed));
  // One literal more and the block no longer decodes to nothing.
  compressed.resize(16);
  compressed.insert(compressed.end(), {0x00, 0x00, 0x00, 0xBF, 0x41, 0xFF});
  EXPECT_FALSE(Open(compressed));
}

TEST(OpenPackage, DataOffsetsWalkAlignedStoredSizes) {
  Directory d = Open(HandPackage({{"A", 1, 0, 0, 0},
                                  {"B", 1, 0, 17, 17},
                                  {"C", 1, 0, 32, 32},
                                  {"D", 1, 0, 1, 1}}));
  ASSERT_TRUE(d);
  EXPECT_EQ(OffsetOf(d.get(), "A"), 16u);
  EXPECT_EQ(OffsetOf(d.get(), "B"), 16u);  // StoredSize 0 takes no room
  EXPECT_EQ(OffsetOf(d.get(), "C"), 48u);  // 17 bytes and 15 of fill
  EXPECT_EQ(OffsetOf(d.get(), "D"), 80u);  // 32 bytes, no fill

  Directory third = Open(HandPackage(
      {{"1", 1, 0, 100, 100}, {"2", 1, 0, 5, 5}, {"3", 1, 0, 1, 1}}));
  ASSERT_TRUE(third);
  EXPECT_EQ(OffsetOf(third.get(), "3"), 144u);
}

TEST(FindPackageEntry, FoldsAsciiOnlyAndFirstOfSameNameWins) {
  // 83 41 is katakana A, 83 61 katakana DI: their trail bytes are 'A' and
  // 'a', which must not be folded into each other.
  Directory d = Open(HandPackage({{"\x83\x41.DAT", 1, 1, 3, 3},
                                  {"update.ini", 1, 2, 4, 4},
                                  {"UPDATE.INI", 1, 3, 5, 5},
                                  {"\x83\x61.dat", 1, 4, 6, 6}}));
  ASSERT_TRUE(d);
  PackageEntry e;
  uint32_t offset = 0;
  ASSERT_TRUE(FindPackageEntry(d.get(), "Update.Ini", &e, &offset));
  EXPECT_EQ(e.LastWriteTime, 2u);
  EXPECT_EQ(offset, 32u);

  ASSERT_TRUE(FindPackageEntry(d.get(), "\x83\x41.dat", &e, &offset));
  EXPECT_EQ(e.LastWriteTime, 1u);
  ASSERT_TRUE(FindPackageEntry(d.get(), "\x83\x61.DAT", &e, &offset));
  EXPECT_EQ(e.LastWriteTime, 4u);
  EXPECT_EQ(offset, 64u);

  EXPECT_FALSE(FindPackageEntry(d.get(), "UPDATE.IN", nullptr, nullptr));
  EXPECT_FALSE(FindPackageEntry(d.get(), "UPDATE.INI.", nullptr, nullptr));
  EXPECT_FALSE(EntryNamesEqual("\x83", "\x83\x41"));
  EXPECT_TRUE(EntryNamesEqual("abc\x95\x5c", "ABC\x95\x5c"));
}

TEST(OpenPackage, UsesThePackageImageState) {
  const Bytes image = HandPackage(kTwo);
  PackageImage = nullptr;
  PackageImageSize = 0;
  EXPECT_EQ(OpenPackage(), nullptr);
  PackageImage = image.data();
  PackageImageSize = uint32_t(image.size());
  Directory d(OpenPackage());
  EXPECT_TRUE(d);
  ResetPackageState();
}

struct Damage {
  const char* what;
  PackageFault fault;
  std::function<void(Bytes&)> apply;
};

uint32_t DirOffset(const Bytes& b) { return LoadLe32(b.data() + 8); }

TEST(OpenPackage, RefusesEveryDamagedForm) {
  const std::vector<Damage> damages = {
      {"shorter than a header", PackageFault::TooSmall,
       [](Bytes& b) { b.resize(15); }},
      {"wrong magic", PackageFault::BadMagic, [](Bytes& b) { b[2] = '3'; }},
      {"directory inside the header", PackageFault::DirectoryOutside,
       [](Bytes& b) { Put32(b.data() + 8, 15); }},
      {"directory past the end", PackageFault::DirectoryOutside,
       [](Bytes& b) { Put32(b.data() + 8, uint32_t(b.size() + 1)); }},
      {"one record more than stored", PackageFault::TooManyEntries,
       [](Bytes& b) { Put32(b.data() + 12, 3); }},
      {"last record cut short", PackageFault::TooManyEntries,
       [](Bytes& b) { b.pop_back(); }},
      {"entry count that overflows 32 bits", PackageFault::TooManyEntries,
       [](Bytes& b) { Put32(b.data() + 12, 0xFFFFFFFF); }},
      {"compressed flag on a plain directory", PackageFault::DirectoryDamaged,
       [](Bytes& b) { Put32(b.data() + 4, 1); }},
      {"name without its NUL", PackageFault::NameNotTerminated,
       [](Bytes& b) { std::memset(b.data() + DirOffset(b) + 280, 'x', 260); }},
      {"plain entry whose sizes differ", PackageFault::StoredSizeMismatch,
       [](Bytes& b) { Put32(b.data() + DirOffset(b) + 272, 99); }},
      {"data into the directory", PackageFault::DataOutside,
       [](Bytes& b) { Put32(b.data() + DirOffset(b) + 280 + 276, 17); }},
      {"stored size near 4 GiB", PackageFault::DataOutside,
       [](Bytes& b) { Put32(b.data() + DirOffset(b) + 280 + 276, 0xFFFFFFF8); }},
  };
  for (const Damage& damage : damages) {
    Bytes image = HandPackage(kTwo);
    ASSERT_TRUE(Open(image));
    damage.apply(image);
    PackageCheck check{};
    EXPECT_FALSE(Open(image, &check)) << damage.what;
    EXPECT_EQ(check.fault, damage.fault) << damage.what;
  }
}

TEST(OpenPackage, RefusesDamagedCompressedDirectories) {
  const Bytes good = HandPackage(kTwo, true);
  const uint32_t dir = DirOffset(good);
  PackageCheck check{};

  Bytes fewer = good;  // the block holds two records, the header asks three
  Put32(fewer.data() + 12, 3);
  EXPECT_FALSE(Open(fewer, &check));
  EXPECT_EQ(check.fault, PackageFault::DirectoryDamaged);

  Bytes more = good;  // one record is less than the block decodes to
  Put32(more.data() + 12, 1);
  EXPECT_FALSE(Open(more, &check));
  EXPECT_EQ(check.fault, PackageFault::DirectoryDamaged);

  for (size_t cut = dir; cut < good.size() - 1; cut += 7) {
    EXPECT_FALSE(Open(Bytes(good.begin(), good.begin() + cut))) << cut;
  }

  Bytes huge = good;  // far more records than the block could ever decode to
  Put32(huge.data() + 12, 0x01000000);
  EXPECT_FALSE(Open(huge, &check));
  EXPECT_EQ(check.fault, PackageFault::TooManyEntries);
}

}  // namespace
