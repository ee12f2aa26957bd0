// The update package: reading its header and directory, checking that the
// package hangs together, and finding entries by name.
#include "package/package.h"

#include <cstdlib>
#include <cstring>

#include "core/block_format.h"
#include "core/le.h"
#include "core/patch_entry.h"
#include "package/decompress.h"

const uint8_t* PackageImage = nullptr;
uint32_t PackageImageSize = 0;
PackageDirectory* OpenDirectory = nullptr;
const uint8_t* DirectoryEntries = nullptr;

void ResetPackageState() {
  std::free(OpenDirectory);
  OpenDirectory = nullptr;
  DirectoryEntries = nullptr;
  PackageImage = nullptr;
  PackageImageSize = 0;
}

namespace {

PackageDirectory* Fail(PackageCheck* check, PackageFault fault,
                       uint32_t entry = 0) {
  if (check) {
    check->fault = fault;
    check->entry = entry;
  }
  return nullptr;
}

// Every name ends inside its field, a plain entry's two sizes agree, and
// every entry's data lies between the header and the directory.
bool CheckEntries(const uint8_t* records, uint32_t count,
                  uint32_t directoryOffset, PackageCheck* check) {
  uint64_t offset = kPackageHeaderSize;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* record = records + uint64_t{i} * kPackageEntrySize;
    if (!std::memchr(record, 0, kEntryNameSize)) {
      Fail(check, PackageFault::NameNotTerminated, i);
      return false;
    }
    const PackageEntry entry = ReadPackageEntry(record);
    if (!(entry.Flags & (kEntryFlagCompressed | kEntryFlagPatch)) &&
        entry.StoredSize != entry.FileSize) {
      Fail(check, PackageFault::StoredSizeMismatch, i);
      return false;
    }
    if (offset + entry.StoredSize > directoryOffset) {
      Fail(check, PackageFault::DataOutside, i);
      return false;
    }
    offset = AlignPackageOffset(offset + entry.StoredSize);
  }
  return true;
}

}  // namespace

PackageDirectory* OpenPackage() {
  return OpenPackageImage(PackageImage, PackageImageSize);
}

PackageDirectory* OpenPackageImage(const uint8_t* image, uint32_t size,
                                   PackageCheck* check) {
  if (check) *check = PackageCheck{};
  if (!image || size < kPackageHeaderSize) {
    return Fail(check, PackageFault::TooSmall);
  }
  const PackageHeader header = ReadPackageHeader(image);
  if (header.Magic != kPackageMagic) return Fail(check, PackageFault::BadMagic);
  if (header.DirectoryOffset < kPackageHeaderSize ||
      header.DirectoryOffset > size) {
    return Fail(check, PackageFault::DirectoryOutside);
  }

  // The count is bounded before anything is allocated, in 64 bits so that
  // no count can wrap: no more records than the directory's bytes can hold.
  const bool compressed = header.Flags & kHeaderFlagCompressedDirectory;
  const uint64_t available = size - header.DirectoryOffset;
  const uint64_t entryBytes = uint64_t{header.EntryCount} * kPackageEntrySize;
  const uint64_t limit = compressed ? available * kMaxBlockExpansion : available;
  if (entryBytes > limit || kPackageHeaderSize + entryBytes > SIZE_MAX) {
    return Fail(check, PackageFault::TooManyEntries);
  }

  auto* directory = static_cast<PackageDirectory*>(
      std::malloc(static_cast<size_t>(kPackageHeaderSize + entryBytes)));
  if (!directory) return Fail(check, PackageFault::OutOfMemory);
  uint8_t* records = directory + kPackageHeaderSize;
  const uint8_t* source = image + header.DirectoryOffset;

  // The directory's block is decoded straight from the image: the bounded
  // decoder never reads past the bytes it is given, so no copy is needed.
  if (compressed) {
    size_t written = 0;
    if (!DecompressBlock(records, static_cast<size_t>(entryBytes), source,
                         static_cast<size_t>(available), &written) ||
        written != entryBytes) {
      std::free(directory);
      return Fail(check, PackageFault::DirectoryDamaged);
    }
  } else if (entryBytes) {
    std::memcpy(records, source, static_cast<size_t>(entryBytes));
  }
  std::memcpy(directory, image, kPackageHeaderSize);

  if (!CheckEntries(records, header.EntryCount, header.DirectoryOffset,
                    check)) {
    std::free(directory);
    return nullptr;
  }
  return directory;
}

uint32_t DirectoryEntryCount(const PackageDirectory* directory) {
  return LoadLe32(directory + kHeaderEntryCountAt);
}

bool FindEntryIn(const uint8_t* records, uint32_t count, const char* name,
                 PackageEntry* entry, uint32_t* dataOffset) {
  uint32_t offset = kPackageHeaderSize;
  for (uint32_t i = 0; i < count; ++i, records += kPackageEntrySize) {
    const PackageEntry candidate = ReadPackageEntry(records);
    if (EntryNamesEqual(candidate.Name, name)) {
      if (entry) *entry = candidate;
      if (dataOffset) *dataOffset = offset;
      return true;
    }
    offset = NextDataOffset(offset, candidate.StoredSize);
  }
  return false;
}

bool FindOpenEntry(const char* name, PackageEntry* entry, uint32_t* dataOffset) {
  return DirectoryEntries != nullptr &&
         FindEntryIn(DirectoryEntries, DirectoryEntryCount(OpenDirectory), name, entry,
                     dataOffset);
}
