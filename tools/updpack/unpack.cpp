// updpack unpack: every entry into a folder, with its time stamp.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

#include "codepage.h"
#include "package_reader.h"
#include "patch_entries.h"
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

// A patch entry's file: made from the first old file that is one of its
// versions (or already is the result), else the whole file it carries.
// Nothing when it has neither; `why` then says so.
std::optional<std::vector<uint8_t>> PatchedBytes(const LoadedPackage& package,
                                                 const ListedEntry& listed,
                                                 const OldInstallations& olds,
                                                 std::string* why) {
  const PatchRecord record = ReadPatchRecord(package, listed);
  std::vector<OldInstallations::Match> matches = olds.MatchesFor(listed, record);
  if (!matches.empty()) {
    OldInstallations::Match& match = matches.front();
    if (!match.version) return std::move(match.bytes);
    return ApplyPatchVersion(package, listed, record, *match.version, match.bytes);
  }
  if (std::optional<std::vector<uint8_t>> whole = FallbackBytes(package, listed, record)) {
    return whole;
  }
  *why = olds.empty()
             ? "a patch without the whole file; name an old installation with --from"
             : "no file of its name in " + olds.Names() + " is " + OldVersionsText(record) +
                   ", and it carries no whole file";
  return std::nullopt;
}

// A patch entry is written from its old version in `from` (old
// installations), or else as the whole file it carries; one that is neither
// is told and skipped, and the verb fails once the others are written.
void RunUnpack(const std::string& packagePath, const std::string& folderPath,
               const std::vector<std::string>& from) {
  const LoadedPackage package = LoadPackage(PathFromUtf8(packagePath));
  const OldInstallations olds(from);
  const fs::path folder = PathFromUtf8(folderPath);
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    throw ToolError("cannot create the folder " + Quote(folder) + ": " +
                    ec.message());
  }
  ProgressLine progress(package.image.size());
  size_t skipped = 0;
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
    std::string why;
    const std::optional<std::vector<uint8_t>> bytes =
        IsPatchEntry(listed.entry) ? PatchedBytes(package, listed, olds, &why)
                                   : EntryBytes(package, listed);
    if (!bytes) {
      progress.Clear();
      std::fprintf(stderr, "updpack: error: entry %zu '%s' not unpacked: %s\n", i + 1,
                   listed.displayName.c_str(), why.c_str());
      ++skipped;
      continue;
    }
    WriteFileReplacing(target, bytes->data(), bytes->size(),
                       listed.entry.LastWriteTime);
  }
  if (skipped) {
    throw ToolError(std::to_string(skipped) + " entr" + (skipped == 1 ? "y" : "ies") +
                    " not unpacked");
  }
}

}  // namespace

Verb AddUnpackVerb(CLI::App* app) {
  struct Options {
    std::string package, folder;
    std::vector<std::string> from;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app->add_subcommand(
      "unpack", "Write every entry of a package (or of an updater's package) "
                "into a folder, with its time");
  AddArgument(command, "PKG", &options->package, "Package");
  AddArgument(command, "DIR", &options->folder, "Folder to write into");
  command
      ->add_option("--from", options->from,
                   "Installation of an earlier version: a patch entry is "
                   "written from its old file there; may be repeated")
      ->type_name("OLD-DIR")
      ->allow_extra_args(false);
  return {command, [options] {
            RunUnpack(options->package, options->folder, options->from);
            return 0;
          }};
}
