// The integrity record's reading and writing.
#include "core/integrity.h"

#include "core/le.h"

IntegrityFault ParseIntegrityRecord(const Crc32Table& table,
                                    const uint8_t* bytes, size_t size,
                                    IntegrityRecord* record) {
  if (bytes == nullptr || size < IntegrityRecordSize(0)) return IntegrityFault::TooShort;
  for (int i = 0; i < 4; ++i) {
    if (bytes[i] != kIntegrityMagic[i]) return IntegrityFault::BadMagic;
  }
  if (LoadLe32(bytes + kIntegrityVersionAt) != kIntegrityVersion) return IntegrityFault::BadVersion;
  const uint32_t count = LoadLe32(bytes + kIntegrityEntryCountAt);
  if (LoadLe32(bytes + kIntegrityRecordSizeAt) != size || count > kIntegrityMaxEntries ||
      IntegrityRecordSize(count) != size) {
    return IntegrityFault::BadSize;
  }
  if (Crc32(table, 0, bytes, size - 4) != LoadLe32(bytes + size - 4)) {
    return IntegrityFault::BadRecordCrc;
  }
  record->packageSize = LoadLe32(bytes + kIntegrityPackageSizeAt);
  record->packageCrc = LoadLe32(bytes + kIntegrityPackageCrcAt);
  record->entryCount = count;
  record->entryCrcs = bytes + kIntegrityEntryCrcsAt;
  return IntegrityFault::None;
}

uint32_t IntegrityEntryCrc(const IntegrityRecord& record, uint32_t index) {
  return LoadLe32(record.entryCrcs + 4 * size_t{index});
}

bool PackageMatchesRecord(const Crc32Table& table, const uint8_t* recordBytes,
                          size_t recordSize, const uint8_t* package,
                          size_t packageSize,
                          void (*summed)(const uint8_t* slice, size_t size)) {
  IntegrityRecord record;
  if (ParseIntegrityRecord(table, recordBytes, recordSize, &record) !=
          IntegrityFault::None ||
      record.packageSize != packageSize) {
    return false;
  }
  uint32_t crc = 0;
  for (size_t done = 0; done < packageSize;) {
    const size_t size = packageSize - done < kIntegritySliceSize
                            ? packageSize - done
                            : kIntegritySliceSize;
    crc = Crc32(table, crc, package + done, size);
    if (summed) summed(package + done, size);
    done += size;
  }
  return crc == record.packageCrc;
}

void EncodeIntegrityRecord(const Crc32Table& table, uint32_t packageSize,
                           uint32_t packageCrc, const uint32_t* entryCrcs,
                           uint32_t entryCount, uint8_t* out) {
  const uint32_t size = IntegrityRecordSize(entryCount);
  for (int i = 0; i < 4; ++i) out[i] = kIntegrityMagic[i];
  StoreLe32(out + kIntegrityVersionAt, kIntegrityVersion);
  StoreLe32(out + kIntegrityRecordSizeAt, size);
  StoreLe32(out + kIntegrityPackageSizeAt, packageSize);
  StoreLe32(out + kIntegrityPackageCrcAt, packageCrc);
  StoreLe32(out + kIntegrityEntryCountAt, entryCount);
  for (uint32_t i = 0; i < entryCount; ++i) StoreLe32(out + kIntegrityEntryCrcsAt + 4 * size_t{i}, entryCrcs[i]);
  StoreLe32(out + size - 4, Crc32(table, 0, out, size - 4));
}
