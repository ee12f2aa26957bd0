// One run: our CRC-32, each way of summing, beside zlib's crc32 on the same
// bytes, and the updater's integrity check (tables built, record read,
// package summed) on a 200 MB package, beside memcpy of the same bytes.
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <random>

#include "pack/integrity_record.h"
#include "pack/package_writer.h"
#include "core/crc32_paths.h"
#include "core/integrity.h"
#include "timing.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kMB = 1000000;

Bytes Random(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (size_t i = 0; i + 4 <= size; i += 4) {
    const uint32_t v = rng();
    std::memcpy(&out[i], &v, 4);
  }
  return out;
}

// 200 MB in 20 stored entries: the check reads every byte whatever the
// entries hold or how they are stored.
Bytes Package200() {
  std::vector<PackageInput> inputs;
  for (int i = 0; i < 20; ++i) {
    inputs.push_back({"DATA" + std::to_string(i) + ".BIN", Random(10 * kMB, i + 1),
                      0, EntryStorage::Stored});
  }
  Bytes image;
  if (BuildPackage(inputs, {}, &image).result != PackageWriteResult::Ok) {
    std::fprintf(stderr, "crc_bench: cannot build the package\n");
    std::exit(1);
  }
  return image;
}

}  // namespace

int main() {
  const Bytes data = Random(64 * kMB, 99);
  Crc32Table table;
  BuildCrc32Table(&table);
  uint32_t theirs = 0;
  const double zlibTime = FastestPass([&] { theirs = uint32_t(crc32(0, data.data(), uInt(data.size()))); }, 2);
  struct Path {
    const char* name;
    uint32_t (*crc)(const Crc32Table&, uint32_t, const uint8_t*, size_t);
  };
  const Path paths[] = {
    {"slicing-by-16", &Crc32BySlicing},
#if UPD_CRC32_FOLDING
    {"folding (PCLMULQDQ)", table.folding ? &Crc32ByFolding : nullptr},
#endif
  };
  std::printf("CRC-32 of %zu MB: %08x (zlib), folding %s\n", data.size() / kMB, theirs,
              table.folding ? "chosen" : "not available");
  std::printf("  zlib crc32             %8.1f MB/s\n", data.size() / zlibTime / kMB);
  for (const Path& path : paths) {
    if (path.crc == nullptr) continue;
    uint32_t ours = 0;
    const double time = FastestPass([&] { ours = path.crc(table, 0, data.data(), data.size()); }, 2);
    if (ours != theirs) {
      std::fprintf(stderr, "crc_bench: %s gives %08x, zlib %08x\n", path.name, ours, theirs);
      return 1;
    }
    std::printf("  %-22s %8.1f MB/s  %5.2fx zlib\n", path.name, data.size() / time / kMB,
                zlibTime / time);
  }

  const Bytes package = Package200();
  Bytes record;
  BuildIntegrityRecord(package.data(), uint32_t(package.size()), &record);
  Bytes copy(package.size());
  // What the updater does at start: fill its tables, then check.
  bool intact = false;
  const double checkTime = FastestPass([&] {
    static Crc32Table fresh;
    BuildCrc32Table(&fresh);
    intact = PackageMatchesRecord(fresh, record.data(), record.size(), package.data(), package.size());
  }, 2);
  const double copyTime = FastestPass([&] { std::memcpy(copy.data(), package.data(), package.size()); }, 2);
  const double zlibCheck = FastestPass([&] { theirs = uint32_t(crc32(0, package.data(), uInt(package.size()))); }, 2);
  if (!intact) {
    std::fprintf(stderr, "crc_bench: the package does not match its record\n");
    return 1;
  }
  std::printf("check of a %zu-byte package (%zu entries)\n", package.size(), size_t{20});
  std::printf("  our check              %8.1f ms  %8.1f MB/s\n", checkTime * 1e3, package.size() / checkTime / kMB);
  std::printf("  zlib crc32, same bytes %8.1f ms\n", zlibCheck * 1e3);
  std::printf("  memcpy, same bytes     %8.1f ms\n", copyTime * 1e3);
  std::printf("  check / memcpy         %8.2fx\n", checkTime / copyTime);
  return 0;
}
