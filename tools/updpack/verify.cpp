// updpack verify: opens the package, decodes every entry and checks sizes.
#include <cstdio>

#include "package_reader.h"
#include "verbs.h"

int RunVerify(const std::string& path) {
  LoadedPackage package;
  try {
    package = LoadPackage(PathFromUtf8(path));
  } catch (const ToolError& error) {
    std::fprintf(stderr, "updpack: error: %s\n", error.what());
    return 1;
  }
  int problems = 0;
  ProgressLine progress(package.image.size());
  for (size_t i = 0; i < package.entries.size(); ++i) {
    const ListedEntry& listed = package.entries[i];
    progress.Show("verifying " + std::to_string(i + 1) + "/" +
                  std::to_string(package.entries.size()) + " " +
                  listed.displayName);
    try {
      EntryBytes(package, listed);
    } catch (const ToolError& error) {
      progress.Clear();
      std::fprintf(stderr, "updpack: error: %s\n", error.what());
      ++problems;
    }
    if (const auto first = EarlierEntryOfSameName(package, i)) {
      progress.Clear();
      std::fprintf(stderr,
                   "updpack: error: entry %zu '%s' can never be used: entry "
                   "%zu has the same name\n",
                   i + 1, listed.displayName.c_str(), *first + 1);
      ++problems;
    }
  }
  if (problems) {
    std::fprintf(stderr, "updpack: error: %s: %d problem%s found\n",
                 Quote(PathFromUtf8(path)).c_str(), problems,
                 problems == 1 ? "" : "s");
    return 1;
  }
  std::printf("%s: sound, %zu entries\n", Quote(PathFromUtf8(path)).c_str(),
              package.entries.size());
  return 0;
}
