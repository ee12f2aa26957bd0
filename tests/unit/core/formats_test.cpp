// The core's formats and text rules against figures written out by hand:
// where a record's fields stand, what the block format's derived bounds
// come to, FILETIME on both sides of 1970, and Shift-JIS walked by
// characters.
#include <gtest/gtest.h>

#include <cstring>

#include "core/block_format.h"
#include "core/filetime.h"
#include "core/package_format.h"
#include "core/sjis.h"

namespace {

TEST(PackageFormat, RecordFieldsStandWhereThePackagesHaveThem) {
  PackageEntry entry = {};
  std::strcpy(entry.Name, "Data\\A.dat");
  entry.Flags = kEntryFlagCompressed;
  entry.LastWriteTime = 0x0102030405060708ull;
  entry.FileSize = 0x11223344;
  entry.StoredSize = 0x55667788;
  uint8_t record[kPackageEntrySize];
  std::memset(record, 0xEE, sizeof record);
  WritePackageEntry(entry, record);
  EXPECT_STREQ(reinterpret_cast<const char*>(record), "Data\\A.dat");
  EXPECT_EQ(record[259], 0);  // the name's field is zero after the name
  const uint8_t tail[20] = {2,    0,    0,    0,    8,    7,    6,
                            5,    4,    3,    2,    1,    0x44, 0x33,
                            0x22, 0x11, 0x88, 0x77, 0x66, 0x55};
  EXPECT_EQ(std::memcmp(record + 260, tail, sizeof tail), 0);

  const PackageEntry back = ReadPackageEntry(record);
  EXPECT_STREQ(back.Name, entry.Name);
  EXPECT_EQ(back.Flags, entry.Flags);
  EXPECT_EQ(back.LastWriteTime, entry.LastWriteTime);
  EXPECT_EQ(back.FileSize, entry.FileSize);
  EXPECT_EQ(back.StoredSize, entry.StoredSize);

  uint8_t header[kPackageHeaderSize];
  WritePackageHeader({kPackageMagic, 1, 0x20, 3}, header);
  const uint8_t expected[16] = {'Q', 'W', '2', 0, 1, 0, 0, 0,
                                0x20, 0, 0, 0, 3, 0, 0, 0};
  EXPECT_EQ(std::memcmp(header, expected, sizeof header), 0);
  EXPECT_EQ(ReadPackageHeader(header).DirectoryOffset, 0x20u);

  EXPECT_EQ(NextDataOffset(16, 0), 16u);
  EXPECT_EQ(NextDataOffset(16, 1), 32u);
  EXPECT_EQ(NextDataOffset(16, 16), 32u);
}

TEST(BlockFormat, DerivedBoundsAreTheFormatsFigures) {
  EXPECT_EQ(kEndCode, 2303u);
  EXPECT_EQ(kMaxShortDistance, 2303u);
  EXPECT_EQ(kMaxLength, 282u);
  EXPECT_EQ(kMaxDistance, 8192u);
  EXPECT_EQ(kLongestMatchBits, 25u);
  EXPECT_EQ(kMaxBlockExpansion, 91u);
}

TEST(FileTime, BothSidesOf1970) {
  uint64_t ticks = 1;
  ASSERT_TRUE(FileTimeFromUnix(-kSecondsFrom1601To1970, 0, &ticks));
  EXPECT_EQ(ticks, 0u);
  EXPECT_FALSE(FileTimeFromUnix(-kSecondsFrom1601To1970 - 1, 999999999, &ticks));
  ASSERT_TRUE(FileTimeFromUnix(0, 1234567, &ticks));
  EXPECT_EQ(ticks, 116444736000012345u);
  // A tick before 1970: the second before it, and a fraction that is never
  // negative.
  EXPECT_EQ(UnixSecondsOf(kUnixEpochAsFileTime - 1), -1);
  EXPECT_EQ(UnixNanosecondsOf(kUnixEpochAsFileTime - 1), 999999900);
}

TEST(ShiftJis, WalkedByCharacters) {
  // "ソ" is 0x83 0x5C: its second byte is no separator.
  EXPECT_EQ(SjisFolderLength("Data\\\x83\x5C.dat", false), 5u);
  EXPECT_EQ(SjisFolderLength("\x83\x5C", false), 0u);
  EXPECT_EQ(SjisFolderLength("a/b\\c/d", false), 4u);
  EXPECT_EQ(SjisFolderLength("a/b\\c/d", true), 6u);
  // A lead byte cut off by the end stands for itself.
  EXPECT_EQ(SjisFolderLength("a\\\x83", false), 2u);

  EXPECT_TRUE(SjisEqualIgnoreCase("Data\\a.DAT", "DATA\\A.dat"));
  // A trail byte that looks like a letter keeps its case.
  EXPECT_FALSE(SjisEqualIgnoreCase("\x83\x61", "\x83\x41"));
  EXPECT_FALSE(SjisEqualIgnoreCase("ab", "abc"));
  EXPECT_EQ(FoldAscii(u'z'), u'Z');
  EXPECT_EQ(FoldAscii('{'), '{');
}

}  // namespace
