// updpack unpack: every entry into a folder, with its time stamp.
#include <cstdio>

#include "codepage.h"
#include "package_reader.h"
#include "verbs.h"

namespace {

// The entry's file inside `folder`. A package is foreign input: a name that
// would climb out of the folder or name a path is refused.
fs::path TargetFor(const fs::path& folder, const ListedEntry& listed) {
  const std::optional<fs::path> name = Cp932ToFileName(listed.entry.Name);
  const std::string shown = "entry '" + listed.displayName + "'";
  if (!name) throw ToolError(shown + ": the name is not valid Shift-JIS");
  const std::u8string text = name->u8string();
  if (text.empty() || text == u8"." || text == u8".." ||
      text.find_first_of(u8"/\\:") != std::u8string::npos) {
    throw ToolError(shown + ": not a plain file name");
  }
  return folder / *name;
}

}  // namespace

void RunUnpack(const std::string& packagePath, const std::string& folderPath) {
  const LoadedPackage package = LoadPackage(PathFromUtf8(packagePath));
  const fs::path folder = PathFromUtf8(folderPath);
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    throw ToolError("cannot create the folder " + Quote(folder) + ": " +
                    ec.message());
  }
  ProgressLine progress(package.image.size());
  for (size_t i = 0; i < package.entries.size(); ++i) {
    const ListedEntry& listed = package.entries[i];
    if (const auto first = EarlierEntryOfSameName(package, i)) {
      progress.Clear();
      std::fprintf(stderr,
                   "updpack: warning: entry %zu '%s' skipped: entry %zu has "
                   "the same name and is the one the updater uses\n",
                   i + 1, listed.displayName.c_str(), *first + 1);
      continue;
    }
    progress.Show("unpacking " + std::to_string(i + 1) + "/" +
                  std::to_string(package.entries.size()) + " " +
                  listed.displayName);
    const fs::path target = TargetFor(folder, listed);
    const std::vector<uint8_t> bytes = EntryBytes(package, listed);
    WriteFileReplacing(target, bytes.data(), bytes.size(),
                       listed.entry.LastWriteTime);
  }
}
