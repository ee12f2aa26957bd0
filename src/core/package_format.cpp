// Writing the package's header and directory records.
#include "core/package_format.h"

#include <cstring>

#include "core/le.h"

void WritePackageHeader(const PackageHeader& header, uint8_t* bytes) {
  StoreLe32(bytes + kHeaderMagicAt, header.Magic);
  StoreLe32(bytes + kHeaderFlagsAt, header.Flags);
  StoreLe32(bytes + kHeaderDirectoryOffsetAt, header.DirectoryOffset);
  StoreLe32(bytes + kHeaderEntryCountAt, header.EntryCount);
}

void WritePackageEntry(const PackageEntry& entry, uint8_t* record) {
  uint8_t* name = record + kEntryNameAt;
  std::memset(name, 0, kEntryNameSize);
  for (uint32_t i = 0; i < kEntryNameSize && entry.Name[i] != '\0'; ++i) {
    name[i] = static_cast<uint8_t>(entry.Name[i]);
  }
  StoreLe32(record + kEntryFlagsAt, entry.Flags);
  StoreLe64(record + kEntryLastWriteTimeAt, entry.LastWriteTime);
  StoreLe32(record + kEntryFileSizeAt, entry.FileSize);
  StoreLe32(record + kEntryStoredSizeAt, entry.StoredSize);
}
