// The integrity record of a package: the CRC-32 of the whole and of each
// entry's stored bytes.
#include "pack/integrity_record.h"

#include <cstdlib>
#include <memory>

const Crc32Table& Crc32Tables() {
  static const std::unique_ptr<Crc32Table> table = [] {
    auto built = std::make_unique<Crc32Table>();
    BuildCrc32Table(built.get());
    return built;
  }();
  return *table;
}

std::vector<uint32_t> StoredEntryCrcs(const uint8_t* package,
                                      const PackageDirectory* directory) {
  const uint32_t count = DirectoryEntryCount(directory);
  std::vector<uint32_t> crcs;
  crcs.reserve(count);
  uint32_t offset = kPackageHeaderSize;
  for (uint32_t i = 0; i < count; ++i) {
    const PackageEntry entry = ReadPackageEntry(
        directory + kPackageHeaderSize + uint64_t{i} * kPackageEntrySize);
    // The opened directory keeps every entry's data inside the package.
    crcs.push_back(Crc32(Crc32Tables(), 0, package + offset, entry.StoredSize));
    offset = NextDataOffset(offset, entry.StoredSize);
  }
  return crcs;
}

bool BuildIntegrityRecord(const uint8_t* package, uint32_t size,
                          std::vector<uint8_t>* record) {
  struct FreeDirectory {
    void operator()(PackageDirectory* directory) const { std::free(directory); }
  };
  const std::unique_ptr<PackageDirectory, FreeDirectory> directory(
      OpenPackageImage(package, size));
  if (!directory) return false;
  const std::vector<uint32_t> crcs = StoredEntryCrcs(package, directory.get());
  const uint32_t count = static_cast<uint32_t>(crcs.size());
  record->assign(IntegrityRecordSize(count), 0);
  EncodeIntegrityRecord(Crc32Tables(), size, Crc32(Crc32Tables(), 0, package, size),
                        crcs.data(), count, record->data());
  return true;
}
