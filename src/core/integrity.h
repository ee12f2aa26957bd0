// The integrity record that travels beside a package (resource "UPDATE"
// UPD_INTEGRITY_ID of an updater) and the check of a package against it:
// no state and no platform calls, so the updater and the tools share
// exactly this definition.
//
// Record layout, version 1; every field unsigned 32-bit little-endian:
//   0   Magic        "QW2I"
//   4   Version      1
//   8   RecordSize   28 + 4 * EntryCount, the record's whole length
//   12  PackageSize  bytes of the package
//   16  PackageCrc   CRC-32 of the whole package
//   20  EntryCount   entries of the package's directory
//   24  EntryCrc[EntryCount]  CRC-32 of each entry's stored bytes (StoredSize
//                    bytes at its data offset, without the zero fill)
//   end-4 RecordCrc  CRC-32 of all the record's bytes before it
// The CRC-32 is that of core/crc32.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/crc32.h"

constexpr uint8_t kIntegrityMagic[4] = {'Q', 'W', '2', 'I'};
constexpr uint32_t kIntegrityVersion = 1;
constexpr uint32_t kIntegrityHeaderSize = 24;  // up to the entries' CRCs
constexpr uint32_t kIntegrityMaxEntries = (0xFFFFFFFFu - kIntegrityHeaderSize - 4) / 4;

constexpr uint32_t IntegrityRecordSize(uint32_t entryCount) {
  return kIntegrityHeaderSize + 4 * entryCount + 4;
}

// Where each field stands.
enum : uint32_t {
  kIntegrityMagicAt = 0,
  kIntegrityVersionAt = 4,
  kIntegrityRecordSizeAt = 8,
  kIntegrityPackageSizeAt = 12,
  kIntegrityPackageCrcAt = 16,
  kIntegrityEntryCountAt = 20,
  kIntegrityEntryCrcsAt = kIntegrityHeaderSize,
};

enum class IntegrityFault {
  None,
  TooShort,      // shorter than a record without entries
  BadMagic,
  BadVersion,
  BadSize,       // RecordSize is not the length, or not that of EntryCount
  BadRecordCrc,  // the record's own bytes are damaged
};

struct IntegrityRecord {
  uint32_t packageSize;
  uint32_t packageCrc;
  uint32_t entryCount;
  const uint8_t* entryCrcs;  // EntryCount words inside the record's bytes
};

// Reads the record in place; `record` is filled only when the result is None.
IntegrityFault ParseIntegrityRecord(const Crc32Table& table,
                                    const uint8_t* bytes, size_t size,
                                    IntegrityRecord* record);

uint32_t IntegrityEntryCrc(const IntegrityRecord& record, uint32_t index);

// The package is whole and the one the record was made for: a sound record,
// the same size and the same CRC-32. The package is summed a slice at a
// time; `summed`, when given, is told of each slice once it is done with, so
// that a caller can let it go before the next one is read.
constexpr size_t kIntegritySliceSize = size_t{1} << 20;
bool PackageMatchesRecord(const Crc32Table& table, const uint8_t* recordBytes,
                          size_t recordSize, const uint8_t* package,
                          size_t packageSize,
                          void (*summed)(const uint8_t* slice, size_t size) = nullptr);

// Writes a record of `entryCount` entries into `out`, which holds
// IntegrityRecordSize(entryCount) bytes.
void EncodeIntegrityRecord(const Crc32Table& table, uint32_t packageSize,
                           uint32_t packageCrc, const uint32_t* entryCrcs,
                           uint32_t entryCount, uint8_t* out);
