#include "pack/package_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

#include "package/decompress.h"
#include "package/package.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct FreeBlock {
  void operator()(PackageDirectory* p) const { std::free(p); }
};

Bytes Random(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (auto& b : out) b = uint8_t(rng());
  return out;
}

// Script-like text: few distinct words, so it compresses well.
Bytes Text(size_t size) {
  static const char* words[] = {"SetFlag ", "Jump ", "Say \"", "\x82\xa0",
                                "\r\n", "Wait 30", "; ", "Bgm BGM01"};
  std::mt19937 rng(7);
  Bytes out;
  while (out.size() < size) {
    const char* w = words[rng() % 8];
    out.insert(out.end(), w, w + std::strlen(w));
  }
  out.resize(size);
  return out;
}

std::vector<PackageInput> VariedInputs() {
  return {
      {"UPDATE.INI", Text(700), 0x01D9000000000001ull, EntryStorage::Compressed},
      {"EMPTY.DAT", {}, 2, EntryStorage::Compressed},
      {"NOISE.BIN", Random(4099, 1), 3, EntryStorage::Smaller},
      {"PLAIN.TXT", Text(33), 4, EntryStorage::Stored},
      {"\x83\x5c\x83\x74\x83\x67.TXT", Text(300000), 5, EntryStorage::Smaller},
      {"ONE.BIN", {0x42}, 0xFFFFFFFFFFFFFFFFull, EntryStorage::Compressed},
  };
}

// Opens the image and checks every entry against its input: flags, sizes,
// time, data, zero fill and where the directory begins.
void ExpectRoundTrip(const Bytes& image, const std::vector<PackageInput>& inputs) {
  PackageCheck check{};
  std::unique_ptr<PackageDirectory, FreeBlock> d(
      OpenPackageImage(image.data(), uint32_t(image.size()), &check));
  ASSERT_TRUE(d) << int(check.fault) << " entry " << check.entry;
  ASSERT_EQ(DirectoryEntryCount(d.get()), inputs.size());
  uint32_t end = 16;
  for (const PackageInput& input : inputs) {
    PackageEntry e;
    uint32_t offset = 0;
    ASSERT_TRUE(FindPackageEntry(d.get(), input.name.c_str(), &e, &offset));
    EXPECT_EQ(offset, end) << input.name;
    EXPECT_EQ(e.LastWriteTime, input.lastWriteTime);
    EXPECT_EQ(e.FileSize, input.data.size());
    const bool compressed = e.Flags == kEntryFlagCompressed;
    if (input.storage == EntryStorage::Stored) {
      EXPECT_EQ(e.Flags, kEntryFlagStored);
    }
    if (input.storage == EntryStorage::Compressed) {
      EXPECT_EQ(e.Flags, kEntryFlagCompressed);
    }
    if (input.storage == EntryStorage::Smaller && compressed) {
      EXPECT_LT(e.StoredSize, e.FileSize) << input.name;
    }
    Bytes data(e.FileSize);
    if (compressed) {
      size_t written = 0;
      ASSERT_TRUE(DecompressBlock(data.data(), data.size(), image.data() + offset,
                                  e.StoredSize, &written));
      EXPECT_EQ(written, data.size());
    } else {
      std::memcpy(data.data(), image.data() + offset, data.size());
    }
    EXPECT_EQ(data, input.data) << input.name;
    end = NextDataOffset(offset, e.StoredSize);
    for (uint32_t i = offset + e.StoredSize; i < end; ++i) {
      EXPECT_EQ(image[i], 0) << input.name << " fill at " << i;
    }
  }
  EXPECT_EQ(ReadPackageHeader(image.data()).DirectoryOffset, end);
}

TEST(BuildPackage, RoundTripsInEveryMode) {
  const std::vector<PackageInput> inputs = VariedInputs();
  for (CompressLevel level : {CompressLevel::Greedy, CompressLevel::Best}) {
    for (bool compressDirectory : {false, true}) {
      Bytes image;
      const PackageWriteStatus status =
          BuildPackage(inputs, {level, compressDirectory}, &image);
      ASSERT_EQ(status.result, PackageWriteResult::Ok);
      EXPECT_EQ(ReadPackageHeader(image.data()).Flags,
                compressDirectory ? 1u : 0u);
      ExpectRoundTrip(image, inputs);
    }
  }
}

TEST(BuildPackage, SameInputsGiveTheSameBytes) {
  const std::vector<PackageInput> inputs = VariedInputs();
  Bytes first, second;
  ASSERT_EQ(BuildPackage(inputs, {CompressLevel::Best, true}, &first).result,
            PackageWriteResult::Ok);
  ASSERT_EQ(BuildPackage(inputs, {CompressLevel::Best, true}, &second).result,
            PackageWriteResult::Ok);
  EXPECT_EQ(first, second);
}

TEST(BuildPackage, EmptyPackageOpens) {
  for (bool compressDirectory : {false, true}) {
    Bytes image;
    ASSERT_EQ(BuildPackage({}, {CompressLevel::Greedy, compressDirectory}, &image)
                  .result,
              PackageWriteResult::Ok);
    ExpectRoundTrip(image, {});
  }
}

TEST(BuildPackage, RefusesNamesThePackageCannotHold) {
  const std::string longest(259, 'N');
  Bytes image;
  EXPECT_EQ(BuildPackage({{longest, {1}, 0, EntryStorage::Stored}}, {}, &image)
                .result,
            PackageWriteResult::Ok);
  ExpectRoundTrip(image, {{longest, {1}, 0, EntryStorage::Stored}});

  const std::vector<std::string> bad = {"", longest + "N",
                                        std::string("A\0B", 3)};
  for (const std::string& name : bad) {
    const PackageWriteStatus status = BuildPackage(
        {{"OK", {}, 0, EntryStorage::Stored}, {name, {}, 0, EntryStorage::Stored}},
        {}, &image);
    EXPECT_EQ(status.result, PackageWriteResult::BadName) << name.size();
    EXPECT_EQ(status.entry, 1u);
    EXPECT_TRUE(image.empty());
  }
}

}  // namespace
