// The update package's format: a 16-byte header, the entries' data each on
// a 16-byte boundary, then the directory (one 280-byte record per entry,
// plain or as one compressed block). Every field is little-endian.
#pragma once
#include <cstdint>
#include <cstring>

#include "core/le.h"

constexpr uint32_t kPackageMagic = 0x00325751;  // "QW2\0"
constexpr uint32_t kPackageHeaderSize = 16;
constexpr uint32_t kPackageEntrySize = 280;
constexpr uint32_t kEntryNameSize = 260;
constexpr uint32_t kPackageAlignment = 16;
constexpr uint32_t kHeaderFlagCompressedDirectory = 1;
constexpr uint32_t kEntryFlagStored = 1;
constexpr uint32_t kEntryFlagCompressed = 2;

// Where each field stands, in the header and in a directory record.
enum : uint32_t {
  kHeaderMagicAt = 0,
  kHeaderFlagsAt = 4,
  kHeaderDirectoryOffsetAt = 8,
  kHeaderEntryCountAt = 12,
};
enum : uint32_t {
  kEntryNameAt = 0,
  kEntryFlagsAt = kEntryNameSize,
  kEntryLastWriteTimeAt = 264,
  kEntryFileSizeAt = 272,
  kEntryStoredSizeAt = 276,
};

struct PackageHeader {
  uint32_t Magic;
  uint32_t Flags;
  uint32_t DirectoryOffset;
  uint32_t EntryCount;
};

// One directory entry, decoded from its 280 bytes.
struct PackageEntry {
  char Name[kEntryNameSize];
  uint32_t Flags;
  uint64_t LastWriteTime;
  uint32_t FileSize;
  uint32_t StoredSize;
};

// Reading stays inline: it is all the updater needs of this header.
inline PackageHeader ReadPackageHeader(const uint8_t* bytes) {
  PackageHeader header;
  header.Magic = LoadLe32(bytes + kHeaderMagicAt);
  header.Flags = LoadLe32(bytes + kHeaderFlagsAt);
  header.DirectoryOffset = LoadLe32(bytes + kHeaderDirectoryOffsetAt);
  header.EntryCount = LoadLe32(bytes + kHeaderEntryCountAt);
  return header;
}

inline PackageEntry ReadPackageEntry(const uint8_t* record) {
  PackageEntry entry;
  std::memcpy(entry.Name, record + kEntryNameAt, kEntryNameSize);
  entry.Flags = LoadLe32(record + kEntryFlagsAt);
  entry.LastWriteTime = LoadLe64(record + kEntryLastWriteTimeAt);
  entry.FileSize = LoadLe32(record + kEntryFileSizeAt);
  entry.StoredSize = LoadLe32(record + kEntryStoredSizeAt);
  return entry;
}

void WritePackageHeader(const PackageHeader& header, uint8_t* bytes);
// The whole record: the name's bytes after its NUL are written as zeros.
void WritePackageEntry(const PackageEntry& entry, uint8_t* record);

// `offset` moved on to the next 16-byte boundary.
constexpr uint64_t AlignPackageOffset(uint64_t offset) {
  return (offset + kPackageAlignment - 1) & ~uint64_t{kPackageAlignment - 1};
}

// Data offset of the entry after one at `offset` with `storedSize` bytes.
constexpr uint32_t NextDataOffset(uint32_t offset, uint32_t storedSize) {
  return offset + static_cast<uint32_t>(AlignPackageOffset(storedSize));
}
