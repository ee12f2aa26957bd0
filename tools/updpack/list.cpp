// updpack list: the directory as a table or as JSON.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

#include "package_reader.h"
#include "patch_entries.h"
#include "verbs.h"

namespace {

std::string Storage(uint32_t flags) {
  if (flags == kEntryFlagPatch) return "patch";
  return flags & kEntryFlagCompressed ? "compressed" : "stored";
}

std::string Ratio(const PackageEntry& entry) {
  if (!entry.FileSize) return "-";
  char text[16];
  std::snprintf(text, sizeof text, "%.1f%%",
                100.0 * entry.StoredSize / entry.FileSize);
  return text;
}

// A patch entry's record, or nothing when it is damaged (verify says how).
std::optional<PatchRecord> RecordOf(const LoadedPackage& package, const ListedEntry& listed) {
  if (!IsPatchEntry(listed.entry)) return std::nullopt;
  try {
    return ReadPatchRecord(package, listed);
  } catch (const ToolError&) {
    return std::nullopt;
  }
}

// Under a patch entry's line: its old versions and its whole file.
void PrintPatchLines(const std::optional<PatchRecord>& record) {
  if (!record) {
    std::printf("%10s damaged patch record (see updpack verify)\n", "");
    return;
  }
  for (const PatchVersion& v : record->versions) {
    std::printf("%10s from %u bytes, CRC-32 %s: patch %u bytes\n", "", v.OldSize,
                Hex32(v.OldCrc).c_str(), v.PatchSize);
  }
  if (record->info.FallbackFlags) {
    std::printf("%10s whole file %s, %u bytes\n", "",
                Storage(record->info.FallbackFlags).c_str(), record->info.FallbackSize);
  }
  std::printf("%10s result CRC-32 %s\n", "", Hex32(record->info.ResultCrc).c_str());
}

// The name comes last so that wide characters cannot push the columns out
// of line.
void PrintTable(const LoadedPackage& package) {
  std::printf("%-10s %10s %10s %7s  %-19s  %s\n", "storage", "stored", "size",
              "ratio", "time (UTC)", "name");
  uint64_t stored = 0, size = 0;
  for (const ListedEntry& listed : package.entries) {
    const PackageEntry& entry = listed.entry;
    std::printf("%-10s %10u %10u %7s  %-19s  %s\n", Storage(entry.Flags).c_str(),
                entry.StoredSize, entry.FileSize, Ratio(entry).c_str(),
                FormatFileTime(entry.LastWriteTime).c_str(),
                listed.displayName.c_str());
    if (IsPatchEntry(entry)) PrintPatchLines(RecordOf(package, listed));
    stored += entry.StoredSize;
    size += entry.FileSize;
  }
  std::printf("%zu entries, %llu bytes stored for %llu, directory %s\n",
              package.entries.size(), static_cast<unsigned long long>(stored),
              static_cast<unsigned long long>(size),
              package.compressedDirectory ? "compressed" : "stored");
}

// A patch entry's fields after the common ones: "damaged" alone when its
// record does not hang together.
std::string PatchJson(const std::optional<PatchRecord>& record) {
  if (!record) return ", \"damaged\": true";
  std::string json = ", \"resultCrc32\": \"" + Hex32(record->info.ResultCrc) +
                     "\", \"versions\": [";
  for (size_t i = 0; i < record->versions.size(); ++i) {
    const PatchVersion& v = record->versions[i];
    json += (i ? ", " : "") + std::string("{\"size\": ") + std::to_string(v.OldSize) +
            ", \"crc32\": \"" + Hex32(v.OldCrc) +
            "\", \"patchSize\": " + std::to_string(v.PatchSize) + "}";
  }
  json += "], \"whole\": ";
  if (record->info.FallbackFlags) {
    json += "{\"storage\": \"" + Storage(record->info.FallbackFlags) +
            "\", \"storedSize\": " + std::to_string(record->info.FallbackSize) + "}";
  } else {
    json += "null";
  }
  return json;
}

void PrintJson(const LoadedPackage& package) {
  std::printf("{\n  \"directoryCompressed\": %s,\n  \"entries\": [",
              package.compressedDirectory ? "true" : "false");
  const char* separator = "\n";
  for (const ListedEntry& listed : package.entries) {
    const PackageEntry& entry = listed.entry;
    std::printf(
        "%s    {\"name\": %s, \"storage\": \"%s\", \"storedSize\": %u, "
        "\"size\": %u, \"offset\": %u, \"time\": \"%s\", \"fileTime\": %llu, "
        "\"crc32\": \"%08x\"%s}",
        separator, JsonString(listed.displayName).c_str(),
        Storage(entry.Flags).c_str(), entry.StoredSize, entry.FileSize,
        listed.offset, FormatFileTime(entry.LastWriteTime, true).c_str(),
        static_cast<unsigned long long>(entry.LastWriteTime), listed.storedCrc,
        IsPatchEntry(entry) ? PatchJson(RecordOf(package, listed)).c_str() : "");
    separator = ",\n";
  }
  std::printf("%s]\n}\n", package.entries.empty() ? "" : "\n  ");
}

}  // namespace

Verb AddListVerb(CLI::App* app) {
  struct Options {
    std::string package;
    bool json = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command =
      app->add_subcommand("list", "Show the entries of a package, or of the "
                                  "package inside an updater");
  AddArgument(command, "PKG", &options->package, "Package");
  command->add_flag("--json", options->json, "Print JSON instead of a table");
  return {command, [options] {
            const LoadedPackage package =
                LoadPackage(PathFromUtf8(options->package));
            if (options->json) {
              PrintJson(package);
            } else {
              PrintTable(package);
            }
            return 0;
          }};
}
