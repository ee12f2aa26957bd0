// CRC-32 by slicing-by-16, and the integrity record's reading and writing.
#include "package/integrity.h"

namespace {

uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
         uint32_t{p[3]} << 24;
}

void PutLe32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

void BuildCrc32Table(Crc32Table* table) {
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    table->slice[0][i] = crc;
  }
  // slice[k][i]: the CRC of byte i followed by k zero bytes.
  for (int k = 1; k < 16; ++k) {
    for (uint32_t i = 0; i < 256; ++i) {
      const uint32_t prev = table->slice[k - 1][i];
      table->slice[k][i] = (prev >> 8) ^ table->slice[0][prev & 0xFF];
    }
  }
}

uint32_t Crc32(const Crc32Table& table, uint32_t crc, const uint8_t* data,
               size_t size) {
  const uint32_t (*t)[256] = table.slice;
  crc = ~crc;
  // Sixteen bytes a step; each byte picks its table by its distance from the
  // step's end, so the bytes are read one by one with no alignment to care for.
  for (size_t blocks = size / 16; blocks != 0; --blocks, data += 16) {
    const uint32_t a = crc ^ Le32(data);
    crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^
          t[12][a >> 24] ^ t[11][data[4]] ^ t[10][data[5]] ^ t[9][data[6]] ^
          t[8][data[7]] ^ t[7][data[8]] ^ t[6][data[9]] ^ t[5][data[10]] ^
          t[4][data[11]] ^ t[3][data[12]] ^ t[2][data[13]] ^ t[1][data[14]] ^
          t[0][data[15]];
  }
  for (size_t rest = size % 16; rest != 0; --rest) {
    crc = (crc >> 8) ^ t[0][(crc ^ *data++) & 0xFF];
  }
  return ~crc;
}

IntegrityFault ParseIntegrityRecord(const Crc32Table& table,
                                    const uint8_t* bytes, size_t size,
                                    IntegrityRecord* record) {
  if (bytes == nullptr || size < IntegrityRecordSize(0)) return IntegrityFault::TooShort;
  for (int i = 0; i < 4; ++i) {
    if (bytes[i] != kIntegrityMagic[i]) return IntegrityFault::BadMagic;
  }
  if (Le32(bytes + 4) != kIntegrityVersion) return IntegrityFault::BadVersion;
  const uint32_t count = Le32(bytes + 20);
  if (Le32(bytes + 8) != size || count > kIntegrityMaxEntries ||
      IntegrityRecordSize(count) != size) {
    return IntegrityFault::BadSize;
  }
  if (Crc32(table, 0, bytes, size - 4) != Le32(bytes + size - 4)) {
    return IntegrityFault::BadRecordCrc;
  }
  record->packageSize = Le32(bytes + 12);
  record->packageCrc = Le32(bytes + 16);
  record->entryCount = count;
  record->entryCrcs = bytes + kIntegrityHeaderSize;
  return IntegrityFault::None;
}

uint32_t IntegrityEntryCrc(const IntegrityRecord& record, uint32_t index) {
  return Le32(record.entryCrcs + 4 * size_t{index});
}

bool PackageMatchesRecord(const Crc32Table& table, const uint8_t* recordBytes,
                          size_t recordSize, const uint8_t* package,
                          size_t packageSize) {
  IntegrityRecord record;
  return ParseIntegrityRecord(table, recordBytes, recordSize, &record) ==
             IntegrityFault::None &&
         record.packageSize == packageSize &&
         Crc32(table, 0, package, packageSize) == record.packageCrc;
}

void EncodeIntegrityRecord(const Crc32Table& table, uint32_t packageSize,
                           uint32_t packageCrc, const uint32_t* entryCrcs,
                           uint32_t entryCount, uint8_t* out) {
  const uint32_t size = IntegrityRecordSize(entryCount);
  for (int i = 0; i < 4; ++i) out[i] = kIntegrityMagic[i];
  PutLe32(out + 4, kIntegrityVersion);
  PutLe32(out + 8, size);
  PutLe32(out + 12, packageSize);
  PutLe32(out + 16, packageCrc);
  PutLe32(out + 20, entryCount);
  for (uint32_t i = 0; i < entryCount; ++i) PutLe32(out + kIntegrityHeaderSize + 4 * size_t{i}, entryCrcs[i]);
  PutLe32(out + size - 4, Crc32(table, 0, out, size - 4));
}
