// Reading a package file for list, unpack and verify.
#include "package_reader.h"

#include "codepage.h"
#include "core/le.h"
#include "core/patch_entry.h"
#include "pack/integrity_record.h"
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

std::string PeFaultText(PeFault fault) {
  switch (fault) {
    case PeFault::NotExecutable:
      return "not a Windows executable";
    case PeFault::NotPe32I386:
      return "not a 32-bit Windows executable (PE32, i386)";
    case PeFault::BadHeaders:
      return "its headers are damaged (sections out of order or outside "
             "the file)";
    case PeFault::Signed:
      return "it is signed (it has a certificate table), and the signature "
             "would no longer match once the package is in it: embed first, "
             "into the unsigned stub, and sign last (updpack sign, or build "
             "with --sign-pkcs12)";
    case PeFault::BadResourceTree:
      return "its resource directory is damaged";
    case PeFault::TooManyResources:
      return "its resource directory has too many entries";
    case PeFault::SharedSection:
      return "its resources share their section with other data, so the "
             "section cannot be rewritten";
    case PeFault::ResourceNotLast:
      return "its resource section is not the last one and the sections "
             "after it cannot be moved";
    case PeFault::NoRoomForSection:
      return "it has no resource section and no room in its headers for one";
    case PeFault::TrailingData:
      return "it has data after its last section (symbols or appended "
             "data) that would be lost";
    case PeFault::TooLarge:
      return "the result would be 2 GiB or larger";
    case PeFault::None:
      break;
  }
  return "cannot be read";
}

PackageFile ReadPackageFile(const fs::path& path) {
  PackageFile file;
  std::vector<uint8_t> bytes = ReadWholeFileOrThrow(path);
  if (bytes.size() < 2 || bytes[0] != 'M' || bytes[1] != 'Z') {
    file.image = std::move(bytes);
    return file;
  }
  PeHeaders headers;
  std::vector<PeResource> resources;
  PeFault fault = ParsePeHeaders(bytes.data(), bytes.size(), &headers);
  if (fault == PeFault::None) {
    fault = ReadPeResources(bytes.data(), bytes.size(), &resources);
  }
  if (fault != PeFault::None) {
    throw ToolError(Quote(path) + ": " + PeFaultText(fault));
  }
  const auto find = [&](uint16_t id) {
    return FindPeResource(resources, PeResourceName::Named(u"" UPD_PACKAGE_TYPE),
                          PeResourceName::Id(id), kPackageResourceLanguage);
  };
  const PeResource* package = find(kPackageResourceId);
  if (!package) {
    throw ToolError(Quote(path) + ": an executable without a package "
                    "(no resource UPDATE 102)");
  }
  file.image.assign(package->data, package->data + package->size);
  UpdaterFacts facts;
  if (const PeResource* record = find(kIntegrityResourceId)) {
    facts.record.emplace(record->data, record->data + record->size);
  }
  facts.headerChecksum = LoadLe32(bytes.data() + headers.checksumOffset);
  facts.computedChecksum = PeChecksum(bytes.data(), bytes.size(), headers.checksumOffset);
  file.updater = std::move(facts);
  return file;
}

LoadedPackage OpenPackageFile(PackageFile file, const fs::path& path) {
  LoadedPackage package;
  package.image = std::move(file.image);
  package.updater = std::move(file.updater);
  PackageCheck check;
  package.directory.reset(OpenPackageImage(
      package.image.data(), static_cast<uint32_t>(package.image.size()),
      &check));
  if (!package.directory) throw ToolError(Quote(path) + ": " + FaultText(check));

  const PackageDirectory* directory = package.directory.get();
  package.compressedDirectory =
      ReadPackageHeader(directory).Flags & kHeaderFlagCompressedDirectory;
  const std::vector<uint32_t> crcs = StoredEntryCrcs(package.image.data(), directory);
  uint32_t offset = kPackageHeaderSize;
  for (uint32_t i = 0; i < crcs.size(); ++i) {
    const PackageEntry entry = ReadPackageEntry(
        directory + kPackageHeaderSize + uint64_t{i} * kPackageEntrySize);
    package.entries.push_back({entry, offset, Cp932ToUtf8(entry.Name), crcs[i]});
    offset = NextDataOffset(offset, entry.StoredSize);
  }
  return package;
}

LoadedPackage LoadPackage(const fs::path& path) {
  return OpenPackageFile(ReadPackageFile(path), path);
}

std::vector<uint8_t> PlainEntryBytes(const PackageEntry& entry, const uint8_t* data,
                                     const std::string& shown) {
  if (!(entry.Flags & kEntryFlagCompressed)) {
    return std::vector<uint8_t>(data, data + entry.StoredSize);
  }
  std::vector<uint8_t> bytes(entry.FileSize);
  size_t written = 0;
  if (!DecompressBlock(bytes.data(), bytes.size(), data, entry.StoredSize,
                       &written)) {
    throw ToolError("entry '" + shown +
                    "': the compressed block is damaged or decodes to more "
                    "than " + std::to_string(entry.FileSize) + " bytes");
  }
  if (written != entry.FileSize) {
    throw ToolError("entry '" + shown + "': decodes to " +
                    std::to_string(written) + " bytes, the directory says " +
                    std::to_string(entry.FileSize));
  }
  return bytes;
}

std::vector<uint8_t> EntryBytes(const LoadedPackage& package,
                                const ListedEntry& listed) {
  if (IsPatchEntry(listed.entry)) {
    throw ToolError("entry '" + listed.displayName +
                    "' is a patch entry: its file is made from an old version");
  }
  return PlainEntryBytes(listed.entry, package.image.data() + listed.offset,
                         listed.displayName);
}

std::optional<size_t> EarlierEntryOfSameName(const LoadedPackage& package,
                                             size_t index) {
  const char* name = package.entries[index].entry.Name;
  for (size_t i = 0; i < index; ++i) {
    if (EntryNamesEqual(package.entries[i].entry.Name, name)) return i;
  }
  return std::nullopt;
}
