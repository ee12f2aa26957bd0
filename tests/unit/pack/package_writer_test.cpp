#include "pack/package_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

#include "core/patch_entry.h"
#include "pack/integrity_record.h"
#include "package/apply_in_memory.h"
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

// A new version of `old`: a few bytes changed and a short run inserted.
Bytes Edited(Bytes old) {
  for (size_t at = 100; at < old.size(); at += 9973) old[at] ^= 0x5A;
  const Bytes insert = Text(40);
  old.insert(old.begin() + old.size() / 2, insert.begin(), insert.end());
  return old;
}

TEST(EncodeEntry, PatchesDistinctOldVersionsWhenThatIsSmaller) {
  const Bytes v1 = Random(60000, 3), v2 = Edited(v1), now = Edited(v2);
  PackageInput input{"GAME.DAT", now, 1, EntryStorage::Smaller, {v1, now, v2, v1}};
  for (bool keepWhole : {false, true}) {
    input.keepWhole = keepWhole;
    const EncodedEntry encoded = EncodeEntry(input, CompressLevel::Greedy);
    ASSERT_EQ(encoded.flags, kEntryFlagPatch);
    // The copy of v1 and the version equal to the file need no patch.
    ASSERT_EQ(encoded.patchSizes.size(), 2u);
    EXPECT_EQ(encoded.wholeSize, now.size());  // random bytes stay stored
    const Bytes& data = encoded.block;
    PatchEntryInfo info;
    ASSERT_TRUE(ReadPatchEntry(data.data(), uint32_t(data.size()), uint32_t(now.size()), &info));
    EXPECT_EQ(info.ResultCrc, Crc32(Crc32Tables(), 0, now.data(), now.size()));
    ASSERT_EQ(info.VersionCount, 2u);
    const Bytes* olds[] = {&v1, &v2};
    for (uint32_t i = 0; i < 2; ++i) {
      const PatchVersion v = ReadPatchVersion(data.data(), info, i);
      EXPECT_EQ(v.OldSize, olds[i]->size());
      EXPECT_EQ(v.OldCrc, Crc32(Crc32Tables(), 0, olds[i]->data(), olds[i]->size()));
      EXPECT_EQ(v.PatchSize, encoded.patchSizes[i]);
      const Bytes patch(data.begin() + v.PatchOffset, data.begin() + v.PatchOffset + v.PatchSize);
      EXPECT_EQ(patch_test::ApplyInMemory(*olds[i], patch, now.size()), now) << i;
    }
    if (keepWhole) {
      ASSERT_EQ(info.FallbackFlags, kEntryFlagStored);
      EXPECT_EQ(Bytes(data.begin() + info.FallbackOffset, data.end()), now);
    } else {
      EXPECT_EQ(info.FallbackFlags, 0u);
    }
  }
}

TEST(EncodeEntry, StaysWholeWhenPatchesDoNotPay) {
  // Noise against other noise, and a file against itself: the entry is as
  // it would be without old versions, fallback asked for or not.
  const Bytes noise = Random(50000, 8), text = Text(50000);
  const struct {
    Bytes now, old;
    uint32_t flags;
    size_t patches;
  } cases[] = {{noise, Random(50000, 9), kEntryFlagStored, 1},
               {text, text, kEntryFlagCompressed, 0}};
  for (const auto& c : cases) {
    const PackageInput input{"S.DAT", c.now, 1, EntryStorage::Smaller, {c.old}, true};
    const EncodedEntry encoded = EncodeEntry(input, CompressLevel::Greedy);
    const EncodedEntry plain = EncodeEntry({"S.DAT", c.now, 1, EntryStorage::Smaller},
                                           CompressLevel::Greedy);
    EXPECT_EQ(encoded.flags, c.flags);
    EXPECT_EQ(encoded.block, plain.block);
    EXPECT_EQ(encoded.patchSizes.size(), c.patches);
  }
}

}  // namespace
