// Patch entries as the tools read them: the record checked, the whole file
// they may carry, the old installations whose files they apply to, and the
// result of applying one.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/patch_entry.h"
#include "package_reader.h"

struct PatchRecord {
  const uint8_t* data;  // the entry's data in the package
  PatchEntryInfo info;
  std::vector<PatchVersion> versions;
};

// The record of a patch entry; throws ToolError naming the entry when its
// parts do not add up.
PatchRecord ReadPatchRecord(const LoadedPackage& package, const ListedEntry& listed);

// "its old version" or "one of its N old versions", for messages.
std::string OldVersionsText(const PatchRecord& record);

// The whole file the entry carries beside its patches, checked against the
// result's size and CRC-32; nothing when it has none. Throws ToolError when
// it is damaged.
std::optional<std::vector<uint8_t>> FallbackBytes(const LoadedPackage& package,
                                                  const ListedEntry& listed,
                                                  const PatchRecord& record);

// Installations of earlier versions (--from). A package entry has only a
// name, so its old file is any file of that name in them; sizes and CRC-32
// tell which version it is.
class OldInstallations {
 public:
  // Throws ToolError when one is not a folder or cannot be read.
  explicit OldInstallations(const std::vector<std::string>& folders);
  bool empty() const { return folders_.empty(); }
  std::string Names() const;  // for messages: 'a', 'b'

  // A file of the entry's name whose bytes are one of the entry's old
  // versions (`version` says which) or already its result (no `version`).
  struct Match {
    fs::path path;
    std::vector<uint8_t> bytes;
    std::optional<size_t> version;
  };
  std::vector<Match> MatchesFor(const ListedEntry& listed,
                                const PatchRecord& record) const;

 private:
  std::vector<fs::path> folders_;
  struct File {
    fs::path path;
    std::string name;  // Shift-JIS
    uint64_t size;
  };
  std::vector<File> files_;
};

// Old version `version`'s patch applied to `old`, and the result's size and
// CRC-32 checked against the record; throws ToolError naming the entry and
// the version.
std::vector<uint8_t> ApplyPatchVersion(const LoadedPackage& package,
                                       const ListedEntry& listed,
                                       const PatchRecord& record, size_t version,
                                       const std::vector<uint8_t>& old);
