// updpack build: an update folder (UPDATE.INI and the files) to a ready
// updater in one step: check, pack what the lines name, embed.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "check.h"
#include "codepage.h"
#include "host.h"
#include "ini_encoding.h"
#include "verbs.h"

namespace {

struct BuildOptions {
  std::string folder;  // UPDATE.INI and the files
  std::string output;
  std::string level = "best";  // as --level gives it
  unsigned jobs = 1;  // threads that encode entries
  std::string stub;  // empty: updater.exe beside updpack
  std::string iniEncoding = "auto";  // as --ini-encoding gives it
  SignOptions sign;  // signs the updater as the last step when requested
  BrandingOptions branding;
  OldVersionOptions from;
};

struct FolderFile {
  fs::path path;
  std::string relative;  // Shift-JIS, '\' between folders
  std::string name;      // Shift-JIS, the last component
  bool used = false;
};

// Every regular file under the folder, by its path inside it as the
// updater writes paths.
std::vector<FolderFile> FilesIn(const fs::path& folder) {
  std::vector<FolderFile> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; it != end;
       it.increment(ec)) {
    if (ec) break;
    if (!it->is_regular_file(ec)) continue;
    FolderFile file{it->path(), "", "", false};
    bool named = true;
    for (const fs::path& part : fs::relative(it->path(), folder)) {
      const std::optional<std::string> text = FileNameToCp932(part);
      if (!text) named = false;
      if (!named) break;
      file.relative += (file.relative.empty() ? "" : "\\") + *text;
      file.name = *text;
    }
    if (!named) {
      throw ToolError("the name of " + Quote(it->path()) +
                      " cannot be written in Shift-JIS");
    }
    files.push_back(std::move(file));
  }
  if (ec) {
    throw ToolError("cannot read the folder " + Quote(folder) + ": " +
                    ec.message());
  }
  std::sort(files.begin(), files.end(),
            [](const FolderFile& a, const FolderFile& b) { return a.path < b.path; });
  return files;
}

// The file a line names: the one at its path inside the folder, otherwise
// the only one whose name is the entry name; null when there is none (the
// check then reports the entry missing). Two of that name are refused.
FolderFile* FileFor(std::vector<FolderFile>& files, const UpdateItem& item,
                    int keyNumber) {
  const char* entry = item.Path + item.NameOffset;
  std::vector<FolderFile*> named;
  for (FolderFile& file : files) {
    if (EntryNamesEqual(file.relative.c_str(), item.Path)) return &file;
    if (EntryNamesEqual(file.name.c_str(), entry)) named.push_back(&file);
  }
  if (named.size() > 1) {
    char key[32];
    std::snprintf(key, sizeof key, "UpdateFile%02i", keyNumber);
    throw ToolError(std::string(key) + ": no file at '" +
                    Cp932ToUtf8(item.Path) + "', and " + Quote(named[0]->path) +
                    " and " + Quote(named[1]->path) +
                    " both have its name; put the one meant at that path");
  }
  return named.empty() ? nullptr : named[0];
}

// UPDATE.INI's UTF-8 text as Shift-JIS in a temporary copy, which is then
// checked and packed in its place; null when the file is Shift-JIS already.
std::unique_ptr<ConvertedIniFile> ShiftJisCopy(const fs::path& ini,
                                               IniEncoding encoding) {
  const std::vector<uint8_t> bytes = ReadWholeFileOrThrow(ini);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()),
                              bytes.size());
  if (encoding == IniEncoding::Auto) {
    encoding = FindUtf8Text(text) ? IniEncoding::Utf8 : IniEncoding::ShiftJis;
  }
  if (encoding == IniEncoding::ShiftJis) return nullptr;
  std::string failure;
  const std::optional<std::string> converted = Utf8IniToShiftJis(text, &failure);
  if (!converted) {
    throw ToolError(Quote(ini) + ": " + failure + "; no updater written");
  }
  std::printf("%s: UTF-8, packed as Shift-JIS\n", Quote(ini).c_str());
  return std::make_unique<ConvertedIniFile>(*converted, FileLastWriteTime(ini));
}

// The earlier versions of each line's file: in every old installation, the
// file at the line's path, or else at the path the file has in the update
// folder. No search by name: a file of that name elsewhere is not the one
// the updater will find on the player's disk.
void FindOldFiles(const std::vector<std::string>& folders,
                  const std::vector<UpdateItem>& items,
                  std::vector<FolderFile>& files, std::vector<PackSource>* sources) {
  for (const std::string& folder : folders) {
    const fs::path root = PathFromUtf8(folder);
    std::error_code ec;
    if (!fs::is_directory(root, ec)) throw ToolError(Quote(root) + " is not a folder");
    const std::vector<FolderFile> olds = FilesIn(root);
    const auto at = [&](const std::string& relative) -> const FolderFile* {
      for (const FolderFile& old : olds) {
        if (EntryNamesEqual(old.relative.c_str(), relative.c_str())) return &old;
      }
      return nullptr;
    };
    for (size_t n = 0; n < items.size(); ++n) {
      const UpdateItem& item = items[n];
      const FolderFile* file = FileFor(files, item, static_cast<int>(n));
      if (!file) continue;
      const FolderFile* old = at(item.Path);
      if (!old) old = at(file->relative);
      if (!old) continue;
      // Lines may share an entry; each line's old file is a version of it.
      for (PackSource& source : *sources) {
        if (!EntryNamesEqual(source.name.c_str(), item.Path + item.NameOffset)) continue;
        if (std::find(source.oldFiles.begin(), source.oldFiles.end(), old->path) ==
            source.oldFiles.end()) {
          source.oldFiles.push_back(old->path);
        }
      }
    }
  }
}

std::string Percent(uint64_t part, uint64_t whole) {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f%%",
                whole ? 100.0 * static_cast<double>(part) / whole : 100.0);
  return text;
}

// Checks UPDATE.INI, packs it and the files its lines name, embeds the
// package and signs the result when asked; writes nothing when the check
// finds an error or the signature cannot be made.
void RunBuild(const BuildOptions& options) {
  const fs::path folder = PathFromUtf8(options.folder);
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    throw ToolError(Quote(folder) + " is not a folder");
  }
  const fs::path output = PathFromUtf8(options.output);
  std::vector<FolderFile> files = FilesIn(folder);
  // An updater built into the folder before is not part of the update.
  std::erase_if(files, [&](const FolderFile& file) {
    return fs::equivalent(file.path, output, ec);
  });
  const auto ini = std::find_if(files.begin(), files.end(), [](const FolderFile& f) {
    return EntryNamesEqual(f.relative.c_str(), "UPDATE.INI");
  });
  if (ini == files.end()) {
    throw ToolError(Quote(folder) + " has no UPDATE.INI");
  }
  ini->used = true;
  const fs::path iniPath = ini->path;
  // The paths of a converted file's lines are then Shift-JIS, as the entry
  // names made from the folder's file names are.
  const std::unique_ptr<ConvertedIniFile> converted =
      ShiftJisCopy(iniPath, IniEncodingNamed(options.iniEncoding));
  const fs::path packedIni = converted ? converted->path() : iniPath;

  // The package is UPDATE.INI and one entry for each file a line names.
  const std::string iniReaderPath = IniReaderPath(packedIni);
  std::vector<PackSource> sources = {{packedIni, "UPDATE.INI", false}};
  PackageFacts facts;
  facts.names.push_back("UPDATE.INI");
  facts.unpackedTotal = fs::file_size(packedIni);
  const std::vector<UpdateItem> items = AllUpdateItems(iniReaderPath);
  for (size_t n = 0; n < items.size(); ++n) {
    const UpdateItem& item = items[n];
    const std::string entry = item.Path + item.NameOffset;
    FolderFile* file = FileFor(files, item, static_cast<int>(n));
    if (!file || facts.Has(entry)) continue;  // the check says why
    file->used = true;
    sources.push_back({file->path, entry, false});
    facts.names.push_back(entry);
    facts.unpackedTotal += fs::file_size(file->path);
  }
  const std::vector<CheckFinding> findings = CheckUpdateIni(packedIni, &facts);
  for (const FolderFile& file : files) {
    if (!file.used) {
      std::fprintf(stderr, "updpack: warning: %s: no UpdateFile line names it; "
                           "not packed\n", Quote(file.path).c_str());
    }
  }
  if (const int errors = PrintFindings(iniPath, findings)) {
    throw ToolError(Quote(iniPath) + ": " + std::to_string(errors) +
                    " error" + (errors == 1 ? "" : "s") +
                    " (see updpack check); no updater written");
  }

  // Before the packing, which may take long: a bad icon stops it at once.
  const Branding branding = MakeBranding(options.branding, iniReaderPath, output);
  FindOldFiles(options.from.folders, items, files, &sources);
  PackageOptions packageOptions;
  packageOptions.level = LevelNamed(options.level);
  const PackedSources packed =
      PackSources(sources, packageOptions, options.jobs, options.from.keepWhole);
  const std::vector<uint8_t>& package = packed.image;
  const fs::path stub =
      options.stub.empty() ? DefaultStubPath() : PathFromUtf8(options.stub);
  std::vector<uint8_t> updater = EmbedPackage(stub, package, branding);
  // Last: the signature covers the resources, the package among them.
  if (options.sign.Requested()) updater = SignUpdater(updater, options.sign);
  WriteFileReplacing(output, updater.data(), updater.size());

  if (!options.from.folders.empty()) {
    PrintPatchChoices(sources, packed.choices, options.from.keepWhole);
  }
  std::printf("%zu entries, %llu bytes of files, package %zu bytes (%s), "
              "%s %zu bytes%s\n",
              sources.size(),
              static_cast<unsigned long long>(facts.unpackedTotal),
              package.size(), Percent(package.size(), facts.unpackedTotal).c_str(),
              Quote(output).c_str(), updater.size(),
              options.sign.Requested() ? ", signed" : "");
}

}  // namespace

Verb AddBuildVerb(CLI::App* app) {
  auto options = std::make_shared<BuildOptions>();
  CLI::App* command = app->add_subcommand(
      "build", "Check UPDATE.INI in a folder, pack it with the files its "
               "UpdateFile lines name, and write the updater");
  AddArgument(command, "DIR", &options->folder,
              "Folder with UPDATE.INI and the files");
  AddStubOptions(command, &options->stub, &options->output);
  AddLevelOption(command, &options->level);
  command
      ->add_option("--ini-encoding", options->iniEncoding,
                   "How UPDATE.INI is written: auto (UTF-8 when it looks so), "
                   "sjis (packed as it is) or utf-8 (converted to "
                   "Shift-JIS); default auto")
      ->check(CLI::IsMember({"auto", "sjis", "utf-8"}))
      ->type_name("ENC");
  AddFromOptions(command, &options->from);
  AddBrandingOptions(command, &options->branding);
  AddSignOptions(command, "sign-", &options->sign);
  AddJobsOption(command, &options->jobs);
  // Checked as the parse ends, so that a missing key is a usage error.
  command->callback([options] { RequireKey(options->sign, "sign-", false); });
  return {command, [options] {
            RunBuild(*options);
            return 0;
          }};
}
