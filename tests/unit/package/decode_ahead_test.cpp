// Decoding ahead: bytes are handed over only for the current entry of the
// run, whole, and everything passed over or damaged is let go.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/state.h"
#include "core/le.h"
#include "pack/package_writer.h"
#include "package/decode_ahead.h"
#include "package/package.h"

namespace {

std::vector<uint8_t> Text(char seed, int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) text += std::string("line ") + char(seed + i % 5) + "\r\n";
  return {text.begin(), text.end()};
}

// The decoded bytes of `name` as a vector, or an empty one for none.
std::vector<uint8_t> Take(const char* name, size_t size) {
  uint8_t* bytes = TakeDecodedEntry(name);
  if (!bytes) return {};
  std::vector<uint8_t> copy(bytes, bytes + size);
  std::free(bytes);
  return copy;
}

TEST(DecodeAheadTest, HandsOverOnlyTheCurrentEntryDecodedWhole) {
  ResetUpdaterState();
  const std::vector<uint8_t> a = Text('a', 300), c = Text('c', 900), d = Text('d', 50);
  const std::vector<PackageInput> inputs = {
      {"A.DAT", a, 0, EntryStorage::Compressed},
      {"B.DAT", Text('b', 10), 0, EntryStorage::Stored},
      {"C.DAT", c, 0, EntryStorage::Compressed},
      {"D.DAT", d, 0, EntryStorage::Compressed}};
  std::vector<uint8_t> image;
  ASSERT_EQ(BuildPackage(inputs, PackageOptions{}, &image).result, PackageWriteResult::Ok);
  // D.DAT claims one byte more than its block gives.
  uint8_t* record = image.data() + LoadLe32(image.data() + kHeaderDirectoryOffsetAt) +
                    3 * kPackageEntrySize + kEntryFileSizeAt;
  StoreLe32(record, LoadLe32(record) + 1);
  PackageImage = image.data();
  PackageImageSize = static_cast<uint32_t>(image.size());
  OpenDirectory = OpenPackage();
  ASSERT_NE(OpenDirectory, nullptr);
  DirectoryEntries = OpenDirectory + kPackageHeaderSize;

  const char* names[] = {"a.dat", "B.DAT", "C.DAT", "A.DAT", "D.DAT", "NONE.DAT", "C.DAT"};
  StartDecodingAhead(names, 7);
  DecodeAheadFrom(0);
  EXPECT_EQ(Take("C.DAT", c.size()), std::vector<uint8_t>{});  // not yet its turn
  EXPECT_EQ(Take("A.DAT", a.size()), a);
  EXPECT_EQ(Take("A.DAT", a.size()), std::vector<uint8_t>{});  // handed over once
  DecodeAheadFrom(1);
  EXPECT_EQ(Take("B.DAT", 0), std::vector<uint8_t>{});  // stored: nothing to decode
  // C.DAT at 2 is passed over; the same name later is decoded afresh.
  DecodeAheadFrom(3);
  EXPECT_EQ(Take("A.DAT", a.size()), a);
  DecodeAheadFrom(4);
  EXPECT_EQ(Take("D.DAT", d.size()), std::vector<uint8_t>{});
  DecodeAheadFrom(5);
  EXPECT_EQ(Take("NONE.DAT", 0), std::vector<uint8_t>{});
  DecodeAheadFrom(6);
  EXPECT_EQ(Take("C.DAT", c.size()), c);
  StopDecodingAhead();
  EXPECT_EQ(Take("C.DAT", c.size()), std::vector<uint8_t>{});

  // Stopped with entries still under way, nothing is left behind.
  StartDecodingAhead(names, 7);
  DecodeAheadFrom(2);
  StopDecodingAhead();
  ResetPackageState();
}

}  // namespace
