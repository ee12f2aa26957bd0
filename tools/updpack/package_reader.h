// A package file read for inspection: its bytes, its opened directory and
// each entry with its data offset, and the bytes an entry stands for.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ids.h"
#include "pack/pe_resources.h"
#include "package/package.h"
#include "tool_support.h"

struct ListedEntry {
  PackageEntry entry;
  uint32_t offset;  // of its data in the package
  std::string displayName;  // UTF-8
  uint32_t storedCrc;  // CRC-32 of its stored bytes
};

// What an updater's executable holds beside its package.
struct UpdaterFacts {
  std::optional<std::vector<uint8_t>> record;  // resource "UPDATE" 103
  uint32_t headerChecksum;    // as the headers state it
  uint32_t computedChecksum;  // of the file as it is
};

// The package bytes a file holds: the file itself, or, for an updater (an
// executable), its resource "UPDATE" 102, found without running it.
struct PackageFile {
  std::vector<uint8_t> image;
  std::optional<UpdaterFacts> updater;  // when the file is an executable
};

struct FreeDirectory {
  void operator()(PackageDirectory* directory) const { std::free(directory); }
};

struct LoadedPackage {
  std::vector<uint8_t> image;
  std::optional<UpdaterFacts> updater;
  std::unique_ptr<PackageDirectory, FreeDirectory> directory;
  bool compressedDirectory = false;
  std::vector<ListedEntry> entries;  // in directory order
};

// Where the updater looks for its package: resource "UPDATE" 102, stored
// in Japanese.
constexpr uint16_t kPackageResourceId = UPD_PACKAGE_ID;
constexpr uint16_t kPackageResourceLanguage = UPD_PACKAGE_LANGUAGE;
constexpr uint16_t kIntegrityResourceId = UPD_INTEGRITY_ID;

// Why an executable cannot be read or rewritten, for messages.
std::string PeFaultText(PeFault fault);

// Reads the file at `path`; throws ToolError when it cannot be read, is a
// damaged executable or one without a package.
PackageFile ReadPackageFile(const fs::path& path);

// Opens the package read from `path`; throws ToolError saying what is wrong.
LoadedPackage OpenPackageFile(PackageFile file, const fs::path& path);

// Both steps: reads and opens the package, also out of an updater.
LoadedPackage LoadPackage(const fs::path& path);

// The file bytes of a plain entry whose stored bytes are at `data`,
// decoded when compressed; throws ToolError naming entry `shown` when the
// block is damaged or does not decode to the entry's size.
std::vector<uint8_t> PlainEntryBytes(const PackageEntry& entry, const uint8_t* data,
                                     const std::string& shown);

// The entry's file bytes as PlainEntryBytes gives them; a patch entry's
// (patch_entries.h) need an old file, and are refused here.
std::vector<uint8_t> EntryBytes(const LoadedPackage& package,
                                const ListedEntry& listed);

// Index of the first entry of the same name, ignoring case, if it is not
// `index` itself: the updater never sees such an entry.
std::optional<size_t> EarlierEntryOfSameName(const LoadedPackage& package,
                                             size_t index);
