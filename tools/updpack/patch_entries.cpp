// Reading and applying patch entries for list, verify and unpack.
#include "patch_entries.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "codepage.h"
#include "pack/integrity_record.h"
#include "package/patch_apply.h"

namespace {

uint32_t CrcOf(const std::vector<uint8_t>& bytes) {
  return Crc32(Crc32Tables(), 0, bytes.data(), bytes.size());
}

}  // namespace

PatchRecord ReadPatchRecord(const LoadedPackage& package, const ListedEntry& listed) {
  const uint8_t* data = package.image.data() + listed.offset;
  PatchRecord record;
  record.data = data;
  if (listed.entry.Flags != kEntryFlagPatch ||
      !ReadPatchEntry(data, listed.entry.StoredSize, listed.entry.FileSize, &record.info)) {
    throw ToolError("entry '" + listed.displayName +
                    "': its patch record is damaged (its version count, "
                    "sizes or whole-file kind do not add up to its stored size)");
  }
  for (uint32_t i = 0; i < record.info.VersionCount; ++i) {
    record.versions.push_back(ReadPatchVersion(data, record.info, i));
  }
  return record;
}

std::string OldVersionsText(const PatchRecord& record) {
  const size_t n = record.versions.size();
  return n == 1 ? "its old version" : "one of its " + std::to_string(n) + " old versions";
}

std::optional<std::vector<uint8_t>> FallbackBytes(const LoadedPackage& package,
                                                  const ListedEntry& listed,
                                                  const PatchRecord& record) {
  if (record.info.FallbackFlags == 0) return std::nullopt;
  std::vector<uint8_t> bytes = PlainEntryBytes(
      FallbackEntry(listed.entry, record.info),
      package.image.data() + listed.offset + record.info.FallbackOffset,
      listed.displayName);
  if (const uint32_t crc = CrcOf(bytes); crc != record.info.ResultCrc) {
    throw ToolError("entry '" + listed.displayName + "': its whole file has CRC-32 " +
                    Hex32(crc) + ", the record says " + Hex32(record.info.ResultCrc));
  }
  return bytes;
}

OldInstallations::OldInstallations(const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    const fs::path root = PathFromUtf8(folder);
    std::error_code ec;
    if (!fs::is_directory(root, ec)) throw ToolError(Quote(root) + " is not a folder");
    folders_.push_back(root);
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end;
         it.increment(ec)) {
      if (!it->is_regular_file(ec)) continue;
      // A name with no Shift-JIS spelling cannot be an entry's.
      if (std::optional<std::string> name = FileNameToCp932(it->path().filename())) {
        files_.push_back({it->path(), std::move(*name), it->file_size(ec)});
      }
    }
    if (ec) {
      throw ToolError("cannot read the folder " + Quote(root) + ": " + ec.message());
    }
  }
  std::sort(files_.begin(), files_.end(),
            [](const File& a, const File& b) { return a.path < b.path; });
}

std::string OldInstallations::Names() const {
  std::string names;
  for (const fs::path& folder : folders_) names += (names.empty() ? "" : ", ") + Quote(folder);
  return names;
}

std::vector<OldInstallations::Match> OldInstallations::MatchesFor(
    const ListedEntry& listed, const PatchRecord& record) const {
  std::vector<Match> matches;
  for (const File& file : files_) {
    if (!EntryNamesEqual(file.name.c_str(), listed.entry.Name)) continue;
    // Only a file of a size the record knows is read.
    const uint32_t size = static_cast<uint32_t>(file.size);
    if (file.size > UINT32_MAX ||
        !PatchKnowsSize(record.data, record.info, listed.entry.FileSize, size)) {
      continue;
    }
    Match match{file.path, ReadWholeFileOrThrow(file.path), std::nullopt};
    // Sized again as read: the file may have changed since it was listed.
    const int32_t found =
        PatchVersionOf(record.data, record.info, listed.entry.FileSize,
                       static_cast<uint32_t>(match.bytes.size()), CrcOf(match.bytes));
    if (found == kPatchNoVersion) continue;
    if (found != kPatchIsResult) match.version = size_t(found);
    matches.push_back(std::move(match));
  }
  return matches;
}

namespace {

struct OldBytes {
  const std::vector<uint8_t>* bytes;
};

bool ReadOld(void* ctx, uint32_t offset, uint8_t* dest, uint32_t size) {
  const std::vector<uint8_t>& old = *static_cast<OldBytes*>(ctx)->bytes;
  if (uint64_t{offset} + size > old.size()) return false;
  std::memcpy(dest, old.data() + offset, size);
  return true;
}

bool Append(void* ctx, const uint8_t* bytes, uint32_t size) {
  std::vector<uint8_t>* out = static_cast<std::vector<uint8_t>*>(ctx);
  out->insert(out->end(), bytes, bytes + size);
  return true;
}

}  // namespace

std::vector<uint8_t> ApplyPatchVersion(const LoadedPackage& package,
                                       const ListedEntry& listed,
                                       const PatchRecord& record, size_t version,
                                       const std::vector<uint8_t>& old) {
  const PatchVersion& v = record.versions[version];
  const std::string shown = "entry '" + listed.displayName + "', old version " +
                            std::to_string(version + 1) + " (" +
                            std::to_string(v.OldSize) + " bytes, CRC-32 " +
                            Hex32(v.OldCrc) + ")";
  std::vector<uint8_t> result;
  result.reserve(listed.entry.FileSize);
  OldBytes source{&old};
  if (!ApplyPatch(package.image.data() + listed.offset + v.PatchOffset, v.PatchSize,
                  static_cast<uint32_t>(old.size()), listed.entry.FileSize,
                  {ReadOld, &source}, {Append, &result})) {
    throw ToolError(shown + ": the patch is damaged or does not fit the old file");
  }
  if (const uint32_t crc = CrcOf(result); crc != record.info.ResultCrc) {
    throw ToolError(shown + ": the patch gives CRC-32 " + Hex32(crc) +
                    ", the record says " + Hex32(record.info.ResultCrc));
  }
  return result;
}
