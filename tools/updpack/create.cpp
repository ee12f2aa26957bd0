// updpack create: files and folders into a new package.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "codepage.h"
#include "core/sjis.h"
#include "pack/package_writer.h"
#include "package/package.h"
#include "tool_support.h"
#include "verbs.h"

namespace {

struct CreateOptions {
  std::string output;
  std::string level = "best";  // as --level gives it
  std::vector<std::string> storeGlobs;
  bool compressDirectory = false;
  unsigned jobs = 1;  // threads that encode entries
  std::vector<std::string> paths;
  OldVersionOptions from;
};

constexpr uint64_t kMaxEntrySize = 0xFFFFFFFFu;

// Shell-style '*' and '?' against a base name, ASCII letters in either case,
// as file names on the updater's system compare.
bool GlobMatches(std::string_view glob, std::string_view name) {
  size_t g = 0, n = 0, starG = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (g < glob.size() && glob[g] == '*') {
      starG = g++;
      starN = n;
    } else if (g < glob.size() &&
               (glob[g] == '?' || FoldAscii(glob[g]) == FoldAscii(name[n]))) {
      ++g;
      ++n;
    } else if (starG != std::string_view::npos) {
      g = starG + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (g < glob.size() && glob[g] == '*') ++g;
  return g == glob.size();
}

// Every regular file under `folder`, in an order that does not depend on the
// file system, so the same folder always gives the same package.
std::vector<fs::path> FilesUnder(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; it != end;
       it.increment(ec)) {
    if (ec) break;
    const fs::file_status status = it->status(ec);
    if (ec) break;
    if (fs::is_directory(status)) continue;
    if (!fs::is_regular_file(status)) {
      throw ToolError(Quote(it->path()) + " is not a regular file");
    }
    files.push_back(it->path());
  }
  if (ec) throw ToolError("cannot read the folder " + Quote(folder) + ": " +
                          ec.message());
  std::sort(files.begin(), files.end());
  return files;
}

// A file to pack, and where an old installation would have it: a file
// argument by its name, a folder argument's files by their paths in it.
struct CollectedFile {
  fs::path path;
  fs::path relative;
};

// The files named and those under the folders named, leaving out an earlier
// copy of the package being made.
std::vector<CollectedFile> CollectFiles(const std::vector<std::string>& arguments,
                                        const fs::path& output) {
  std::vector<CollectedFile> files;
  for (const std::string& argument : arguments) {
    const fs::path path = PathFromUtf8(argument);
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::is_directory(status)) {
      for (const fs::path& file : FilesUnder(path)) {
        if (!fs::equivalent(file, output, ec)) {
          files.push_back({file, fs::relative(file, path)});
        }
      }
    } else if (fs::is_regular_file(status)) {
      files.push_back({path, path.filename()});
    } else if (fs::exists(status)) {
      throw ToolError(Quote(path) + " is not a regular file");
    } else {
      throw ToolError(Quote(path) + ": no such file or folder");
    }
  }
  return files;
}

// Names, sizes and storage of every file, refusing what a package cannot
// hold before anything is read or written.
std::vector<PackSource> CheckSources(const std::vector<CollectedFile>& files,
                                     const std::vector<std::string>& storeGlobs) {
  std::vector<PackSource> sources;
  for (const CollectedFile& file : files) {
    const fs::path& path = file.path;
    const fs::path base = path.filename();
    const std::optional<std::string> name = FileNameToCp932(base);
    if (!name) {
      throw ToolError("the name of " + Quote(path) +
                      " cannot be written in Shift-JIS");
    }
    if (name->size() >= kEntryNameSize) {
      throw ToolError("the name of " + Quote(path) + " is " +
                      std::to_string(name->size()) +
                      " bytes in Shift-JIS; entry names must be shorter "
                      "than 260");
    }
    std::error_code ec;
    const uint64_t size = fs::file_size(path, ec);
    if (ec) throw ToolError("cannot read " + Quote(path) + ": " + ec.message());
    if (size > kMaxEntrySize) {
      throw ToolError(Quote(path) + " is 4 GiB or larger");
    }
    const std::u8string utf8 = base.u8string();
    const std::string display(utf8.begin(), utf8.end());
    const bool store =
        std::any_of(storeGlobs.begin(), storeGlobs.end(),
                    [&](const std::string& g) { return GlobMatches(g, display); });
    sources.push_back({path, *name, store});
  }
  for (size_t i = 0; i < sources.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (EntryNamesEqual(sources[j].name.c_str(), sources[i].name.c_str())) {
        throw ToolError(Quote(sources[j].path) + " and " +
                        Quote(sources[i].path) +
                        " have the same entry name (ignoring case)");
      }
    }
  }
  return sources;
}

// Each file's earlier versions: the same file in each old installation.
void FindOldFiles(const std::vector<CollectedFile>& files,
                  const std::vector<std::string>& folders,
                  std::vector<PackSource>* sources) {
  for (const std::string& folder : folders) {
    const fs::path root = PathFromUtf8(folder);
    std::error_code ec;
    if (!fs::is_directory(root, ec)) throw ToolError(Quote(root) + " is not a folder");
    for (size_t i = 0; i < files.size(); ++i) {
      const fs::path old = root / files[i].relative;
      if (fs::is_regular_file(old, ec)) (*sources)[i].oldFiles.push_back(old);
    }
  }
}

void RunCreate(const CreateOptions& options) {
  const fs::path output = PathFromUtf8(options.output);
  const std::vector<CollectedFile> files = CollectFiles(options.paths, output);
  std::vector<PackSource> sources = CheckSources(files, options.storeGlobs);
  FindOldFiles(files, options.from.folders, &sources);
  PackageOptions packageOptions;
  packageOptions.level = LevelNamed(options.level);
  packageOptions.compressDirectory = options.compressDirectory;
  const PackedSources packed =
      PackSources(sources, packageOptions, options.jobs, options.from.keepWhole);
  WriteFileReplacing(output, packed.image.data(), packed.image.size());
  if (!options.from.folders.empty()) {
    PrintPatchChoices(sources, packed.choices, options.from.keepWhole);
  }
}

}  // namespace

Verb AddCreateVerb(CLI::App* app) {
  auto options = std::make_shared<CreateOptions>();
  CLI::App* command = app->add_subcommand(
      "create", "Pack files and folders (recursively) into a new package");
  command->add_option("-o,--output", options->output, "Package to write")
      ->required()
      ->type_name("OUT");
  AddLevelOption(command, &options->level);
  AddJobsOption(command, &options->jobs);
  command->add_option(
      "--store", options->storeGlobs,
      "Store files whose name matches GLOB (* and ?, any case) uncompressed; "
      "may be repeated")
      ->type_name("GLOB")
      ->allow_extra_args(false);
  command->add_flag("--compress-directory", options->compressDirectory,
                    "Store the directory as a compressed block");
  AddFromOptions(command, &options->from);
  command->add_option("PATH", options->paths, "Files and folders to pack")
      ->required()
      ->type_name("");
  return {command, [options] {
            RunCreate(*options);
            return 0;
          }};
}
