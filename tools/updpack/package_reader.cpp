// Reading a package file for list, unpack and verify.
#include "package_reader.h"

#include "codepage.h"
#include "package/decompress.h"

namespace {

std::string FaultText(const PackageCheck& check) {
  const std::string entry = "entry " + std::to_string(check.entry + 1);
  switch (check.fault) {
    case PackageFault::TooSmall:
      return "too small for a package header";
    case PackageFault::BadMagic:
      return "not a package (no QW2 signature)";
    case PackageFault::DirectoryOutside:
      return "the directory offset lies outside the package";
    case PackageFault::TooManyEntries:
      return "the entry count is more than the directory can hold";
    case PackageFault::OutOfMemory:
      return "not enough memory for the directory";
    case PackageFault::DirectoryDamaged:
      return "the compressed directory is damaged or not the size of its "
             "entries";
    case PackageFault::NameNotTerminated:
      return entry + ": the name has no end within 260 bytes";
    case PackageFault::StoredSizeMismatch:
      return entry + ": stored plain but its stored size differs from its size";
    case PackageFault::DataOutside:
      return entry + ": its data runs past the start of the directory";
    case PackageFault::None:
      break;
  }
  return "cannot be opened";
}

}  // namespace

LoadedPackage LoadPackage(const fs::path& path) {
  LoadedPackage package;
  package.image = ReadWholeFileOrThrow(path);
  PackageCheck check;
  package.directory.reset(OpenPackageImage(
      package.image.data(), static_cast<uint32_t>(package.image.size()),
      &check));
  if (!package.directory) throw ToolError(Quote(path) + ": " + FaultText(check));

  const PackageDirectory* directory = package.directory.get();
  package.compressedDirectory =
      ReadPackageHeader(directory).Flags & kHeaderFlagCompressedDirectory;
  const uint32_t count = DirectoryEntryCount(directory);
  uint32_t offset = kPackageHeaderSize;
  for (uint32_t i = 0; i < count; ++i) {
    const PackageEntry entry = ReadPackageEntry(
        directory + kPackageHeaderSize + uint64_t{i} * kPackageEntrySize);
    package.entries.push_back({entry, offset, Cp932ToUtf8(entry.Name)});
    offset = NextDataOffset(offset, entry.StoredSize);
  }
  return package;
}

std::vector<uint8_t> EntryBytes(const LoadedPackage& package,
                                const ListedEntry& listed) {
  const PackageEntry& entry = listed.entry;
  const uint8_t* data = package.image.data() + listed.offset;
  if (!(entry.Flags & kEntryFlagCompressed)) {
    return std::vector<uint8_t>(data, data + entry.StoredSize);
  }
  std::vector<uint8_t> bytes(entry.FileSize);
  size_t written = 0;
  if (!DecompressBlock(bytes.data(), bytes.size(), data, entry.StoredSize,
                       &written)) {
    throw ToolError("entry '" + listed.displayName +
                    "': the compressed block is damaged or decodes to more "
                    "than " + std::to_string(entry.FileSize) + " bytes");
  }
  if (written != entry.FileSize) {
    throw ToolError("entry '" + listed.displayName + "': decodes to " +
                    std::to_string(written) + " bytes, the directory says " +
                    std::to_string(entry.FileSize));
  }
  return bytes;
}

std::optional<size_t> EarlierEntryOfSameName(const LoadedPackage& package,
                                             size_t index) {
  const char* name = package.entries[index].entry.Name;
  for (size_t i = 0; i < index; ++i) {
    if (EntryNamesEqual(package.entries[i].entry.Name, name)) return i;
  }
  return std::nullopt;
}
