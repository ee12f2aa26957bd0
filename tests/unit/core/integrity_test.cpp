// The CRC-32, each way of summing, against known values, a bit-by-bit
// reference and zlib; the integrity record's parsing of damaged records; the
// record a package gets.
#include "core/integrity.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/crc32_paths.h"
#include "core/le.h"
#include "pack/integrity_record.h"
#include "pack/package_writer.h"

#ifdef UPD_TEST_ZLIB
#include <zlib.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Random(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (auto& b : out) b = uint8_t(rng());
  return out;
}

uint32_t BitwiseCrc(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return ~crc;
}

uint32_t Crc(const std::string& text) {
  return Crc32(Crc32Tables(), 0, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

TEST(Crc32Test, KnownValues) {
  EXPECT_EQ(Crc(""), 0u);
  EXPECT_EQ(Crc("a"), 0xE8B7BE43u);
  EXPECT_EQ(Crc("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
  EXPECT_EQ(Crc(std::string(32, '\0')), 0x190A55ADu);
}

// Each way of summing, called directly, against the bit-by-bit definition:
// every length around the 16- and 64-byte steps from every alignment, every
// split continued across two calls, and a few megabytes.
struct NamedPath {
  const char* name;
  uint32_t (*crc)(const Crc32Table&, uint32_t, const uint8_t*, size_t);
};

class Crc32PathTest : public testing::TestWithParam<NamedPath> {};

TEST_P(Crc32PathTest, AgreesWithBitwiseReference) {
  const auto crc = GetParam().crc;
  if (crc != &Crc32BySlicing && !Crc32Tables().folding) GTEST_SKIP() << "no carry-less multiply";
  const Crc32Table& table = Crc32Tables();
  const Bytes data = Random(1000, 1);
  for (size_t start = 0; start < 16; ++start) {
    for (size_t size = 0; size <= 600; ++size) {
      ASSERT_EQ(crc(table, 0, data.data() + start, size), BitwiseCrc(data.data() + start, size))
          << "start " << start << " size " << size;
    }
  }
  const uint32_t whole = BitwiseCrc(data.data(), data.size());
  for (size_t split = 0; split <= data.size(); ++split) {
    const uint32_t first = crc(table, 0, data.data(), split);
    ASSERT_EQ(crc(table, first, data.data() + split, data.size() - split), whole)
        << "split " << split;
  }
  const Bytes big = Random(3 << 20, 7);
  EXPECT_EQ(crc(table, 0, big.data() + 5, big.size() - 5), BitwiseCrc(big.data() + 5, big.size() - 5));
}

INSTANTIATE_TEST_SUITE_P(, Crc32PathTest,
                         testing::Values(NamedPath{"Slicing", &Crc32BySlicing}
#if UPD_CRC32_FOLDING
                                         , NamedPath{"Folding", &Crc32ByFolding}
#endif
                                         ),
                         [](const auto& info) { return std::string(info.param.name); });

#if UPD_CRC32_FOLDING
// Filling the tables picks the fast path wherever the processor has it, so
// the tests above do not pass on the fallback alone.
TEST(Crc32Test, FoldsWhereTheProcessorCan) {
  __builtin_cpu_init();
  EXPECT_EQ(Crc32Tables().folding,
            __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2"));
}
#endif

#if UPD_CRC32_FOLDING && defined(__i386__)
// A 32-bit Windows caller may leave the stack only 4-byte aligned: fold from
// each misalignment.
struct FoldCall {
  const Crc32Table* table;
  const uint8_t* data;
  size_t size;
};

uint32_t Fold(const FoldCall* call) {
  return Crc32ByFolding(*call->table, 0, call->data, call->size);
}

uint32_t FoldWithStackOff(const FoldCall* call, uint32_t skew) {
  uint32_t result;
  // The stack 16-aligned, then `skew` bytes off it at the call.
  __asm__ volatile(
      "mov %%esp, %%edi\n\t"
      "and $-16, %%esp\n\t"
      "sub %[skew], %%esp\n\t"
      "sub $12, %%esp\n\t"
      "push %[call]\n\t"
      "call %P[fold]\n\t"
      "mov %%edi, %%esp"
      : "=a"(result)
      : [call] "r"(call), [skew] "r"(skew), [fold] "i"(&Fold)
      : "ecx", "edx", "edi", "memory", "cc");
  return result;
}

TEST(Crc32Test, FoldsFromAMisalignedStack) {
  if (!Crc32Tables().folding) GTEST_SKIP() << "no carry-less multiply";
  const Bytes data = Random(1000, 8);
  const FoldCall call{&Crc32Tables(), data.data(), data.size()};
  for (uint32_t skew : {0u, 4u, 8u, 12u}) {
    EXPECT_EQ(FoldWithStackOff(&call, skew), BitwiseCrc(data.data(), data.size())) << "skew " << skew;
  }
}
#endif

#ifdef UPD_TEST_ZLIB
TEST(Crc32Test, AgreesWithZlib) {
  const Bytes data = Random(1 << 20, 2);
  std::mt19937 rng(3);
  for (int i = 0; i < 200; ++i) {
    const size_t start = rng() % 4096;
    const size_t size = rng() % (data.size() - start);
    ASSERT_EQ(Crc32(Crc32Tables(), 0, data.data() + start, size),
              crc32(0, data.data() + start, static_cast<uInt>(size)));
  }
}
#endif

Bytes Record(uint32_t packageSize, uint32_t packageCrc, const std::vector<uint32_t>& crcs) {
  Bytes out(IntegrityRecordSize(static_cast<uint32_t>(crcs.size())));
  EncodeIntegrityRecord(Crc32Tables(), packageSize, packageCrc, crcs.data(),
                        static_cast<uint32_t>(crcs.size()), out.data());
  return out;
}

IntegrityFault Parse(const Bytes& bytes, IntegrityRecord* record = nullptr) {
  IntegrityRecord scratch;
  return ParseIntegrityRecord(Crc32Tables(), bytes.data(), bytes.size(),
                              record ? record : &scratch);
}

TEST(IntegrityRecordTest, ReadsBackWhatWasWritten) {
  const Bytes bytes = Record(1234, 0xDEADBEEF, {1, 0x80000000u, 0xFFFFFFFFu});
  ASSERT_EQ(bytes.size(), 40u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "QW2I");
  IntegrityRecord record;
  ASSERT_EQ(Parse(bytes, &record), IntegrityFault::None);
  EXPECT_EQ(record.packageSize, 1234u);
  EXPECT_EQ(record.packageCrc, 0xDEADBEEFu);
  ASSERT_EQ(record.entryCount, 3u);
  EXPECT_EQ(IntegrityEntryCrc(record, 0), 1u);
  EXPECT_EQ(IntegrityEntryCrc(record, 1), 0x80000000u);
  EXPECT_EQ(IntegrityEntryCrc(record, 2), 0xFFFFFFFFu);
  EXPECT_EQ(Parse(Record(0, 0, {})), IntegrityFault::None);
}

TEST(IntegrityRecordTest, DamagedRecordsAreRefused) {
  const Bytes good = Record(100, 7, {5, 6});
  EXPECT_EQ(ParseIntegrityRecord(Crc32Tables(), nullptr, 0, nullptr), IntegrityFault::TooShort);
  for (size_t size = 0; size < good.size(); ++size) {
    const Bytes cut(good.begin(), good.begin() + size);
    EXPECT_NE(Parse(cut), IntegrityFault::None) << "cut to " << size;
  }
  Bytes longer = good;
  longer.push_back(0);
  EXPECT_EQ(Parse(longer), IntegrityFault::BadSize);

  Bytes version = good;
  version[4] = 2;
  EXPECT_EQ(Parse(version), IntegrityFault::BadVersion);
  Bytes magic = good;
  magic[3] = 'J';
  EXPECT_EQ(Parse(magic), IntegrityFault::BadMagic);
  // An entry count that does not agree with the length, even when the
  // stated length is adjusted to match it.
  Bytes count = good;
  count[20] = 3;
  EXPECT_EQ(Parse(count), IntegrityFault::BadSize);
  count[8] = 40;
  EXPECT_EQ(Parse(count), IntegrityFault::BadSize);
  Bytes huge = good;
  huge[20] = huge[21] = huge[22] = huge[23] = 0xFF;
  EXPECT_EQ(Parse(huge), IntegrityFault::BadSize);
  // Any other byte: the record's own CRC.
  for (size_t i = 12; i < good.size(); ++i) {
    if (i >= 20 && i < 24) continue;
    Bytes flipped = good;
    flipped[i] ^= 0x01;
    EXPECT_EQ(Parse(flipped), IntegrityFault::BadRecordCrc) << "byte " << i;
  }
}

TEST(IntegrityRecordTest, PackageMatchesOnlyItsOwnRecord) {
  const Bytes package = Random(1000, 4);
  const Bytes record = Record(1000, Crc32(Crc32Tables(), 0, package.data(), 1000), {});
  const auto matches = [&](const Bytes& p, const Bytes& r) {
    return PackageMatchesRecord(Crc32Tables(), r.data(), r.size(), p.data(), p.size());
  };
  EXPECT_TRUE(matches(package, record));
  for (size_t i : {size_t{0}, size_t{15}, size_t{500}, size_t{999}}) {
    Bytes damaged = package;
    damaged[i] ^= 0x80;
    EXPECT_FALSE(matches(damaged, record)) << "byte " << i;
  }
  EXPECT_FALSE(matches(Bytes(package.begin(), package.end() - 1), record));
  Bytes longer = package;
  longer.push_back(0);
  EXPECT_FALSE(matches(longer, record));
  Bytes badRecord = record;
  badRecord[0] = 'X';
  EXPECT_FALSE(matches(package, badRecord));
}

// Summed in slices, each handed to the caller once, in order, covering the
// package exactly; a change in any slice still shows.
std::vector<std::pair<const uint8_t*, size_t>> gSlices;

TEST(IntegrityRecordTest, PackageIsSummedSliceBySlice) {
  const size_t size = 2 * kIntegritySliceSize + 12345;
  Bytes package = Random(size, 6);
  const Bytes record = Record(uint32_t(size), Crc32(Crc32Tables(), 0, package.data(), size), {});
  const auto note = [](const uint8_t* slice, size_t length) { gSlices.emplace_back(slice, length); };
  gSlices.clear();
  EXPECT_TRUE(PackageMatchesRecord(Crc32Tables(), record.data(), record.size(), package.data(),
                                   size, note));
  ASSERT_EQ(gSlices.size(), 3u);
  const uint8_t* next = package.data();
  for (const auto& [slice, length] : gSlices) {
    EXPECT_EQ(slice, next);
    next += length;
  }
  EXPECT_EQ(next, package.data() + size);
  package[kIntegritySliceSize + 7] ^= 1;
  EXPECT_FALSE(PackageMatchesRecord(Crc32Tables(), record.data(), record.size(), package.data(),
                                    size, note));
}

TEST(IntegrityRecordTest, PackageGetsCrcOfEachEntrysStoredBytes) {
  const Bytes noise = Random(33, 5);
  const Bytes text(5000, 'a');
  Bytes package;
  ASSERT_EQ(BuildPackage({{"A.BIN", noise, 1, EntryStorage::Stored},
                          {"B.TXT", text, 2, EntryStorage::Compressed}},
                         {}, &package)
                .result,
            PackageWriteResult::Ok);
  Bytes bytes;
  ASSERT_TRUE(BuildIntegrityRecord(package.data(), uint32_t(package.size()), &bytes));
  IntegrityRecord record;
  ASSERT_EQ(Parse(bytes, &record), IntegrityFault::None);
  EXPECT_EQ(record.packageSize, package.size());
  EXPECT_EQ(record.packageCrc, BitwiseCrc(package.data(), package.size()));
  ASSERT_EQ(record.entryCount, 2u);
  EXPECT_EQ(IntegrityEntryCrc(record, 0), BitwiseCrc(package.data() + 16, 33));
  // The block starts after the first entry's 33 bytes and their fill; its
  // stored size is the second record's last field.
  const PackageEntry second = ReadPackageEntry(
      package.data() + LoadLe32(package.data() + kHeaderDirectoryOffsetAt) + kPackageEntrySize);
  EXPECT_EQ(IntegrityEntryCrc(record, 1), BitwiseCrc(package.data() + 64, second.StoredSize));

  Bytes unchanged;
  EXPECT_FALSE(BuildIntegrityRecord(noise.data(), uint32_t(noise.size()), &unchanged));
  EXPECT_TRUE(unchanged.empty());
}

}  // namespace
