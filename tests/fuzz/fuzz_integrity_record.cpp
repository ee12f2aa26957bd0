// ParseIntegrityRecord over arbitrary bytes: it must never read outside them,
// and a record it accepts must write back to exactly the same bytes.
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/integrity.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Crc32Table table;
  static bool built = false;
  if (!built) {
    BuildCrc32Table(&table);
    built = true;
  }
  IntegrityRecord record;
  if (ParseIntegrityRecord(table, data, size, &record) != IntegrityFault::None) return 0;
  std::vector<uint32_t> crcs(record.entryCount);
  for (uint32_t i = 0; i < record.entryCount; ++i) crcs[i] = IntegrityEntryCrc(record, i);
  std::vector<uint8_t> again(IntegrityRecordSize(record.entryCount));
  EncodeIntegrityRecord(table, record.packageSize, record.packageCrc, crcs.data(),
                        record.entryCount, again.data());
  if (again.size() != size || std::memcmp(again.data(), data, size) != 0) __builtin_trap();
  return 0;
}
