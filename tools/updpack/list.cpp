// updpack list: the directory as a table or as JSON.
#include <cstdio>

#include "package_reader.h"
#include "verbs.h"

namespace {

std::string Storage(const PackageEntry& entry) {
  return entry.Flags & kEntryFlagCompressed ? "compressed" : "stored";
}

std::string Ratio(const PackageEntry& entry) {
  if (!entry.FileSize) return "-";
  char text[16];
  std::snprintf(text, sizeof text, "%.1f%%",
                100.0 * entry.StoredSize / entry.FileSize);
  return text;
}

// The name comes last so that wide characters cannot push the columns out
// of line.
void PrintTable(const LoadedPackage& package) {
  std::printf("%-10s %10s %10s %7s  %-19s  %s\n", "storage", "stored", "size",
              "ratio", "time (UTC)", "name");
  uint64_t stored = 0, size = 0;
  for (const ListedEntry& listed : package.entries) {
    const PackageEntry& entry = listed.entry;
    std::printf("%-10s %10u %10u %7s  %-19s  %s\n", Storage(entry).c_str(),
                entry.StoredSize, entry.FileSize, Ratio(entry).c_str(),
                FormatFileTime(entry.LastWriteTime).c_str(),
                listed.displayName.c_str());
    stored += entry.StoredSize;
    size += entry.FileSize;
  }
  std::printf("%zu entries, %llu bytes stored for %llu, directory %s\n",
              package.entries.size(), static_cast<unsigned long long>(stored),
              static_cast<unsigned long long>(size),
              package.compressedDirectory ? "compressed" : "stored");
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
        "\"crc32\": \"%08x\"}",
        separator, JsonString(listed.displayName).c_str(),
        Storage(entry).c_str(), entry.StoredSize, entry.FileSize,
        listed.offset, FormatFileTime(entry.LastWriteTime, true).c_str(),
        static_cast<unsigned long long>(entry.LastWriteTime), listed.storedCrc);
    separator = ",\n";
  }
  std::printf("%s]\n}\n", package.entries.empty() ? "" : "\n  ");
}

}  // namespace

void RunList(const std::string& path, bool json) {
  const LoadedPackage package = LoadPackage(PathFromUtf8(path));
  if (json) {
    PrintJson(package);
  } else {
    PrintTable(package);
  }
}
