// The verbs of updpack. Each adds its subcommand with its options to the
// command line and owns their values; main runs the one that was given.
// Below, what one verb takes from another. Verbs throw ToolError for a
// failure the user is to be told about.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "options.h"
#include "pack/icon_resources.h"
#include "pack/package_writer.h"
#include "tool_support.h"

// A verb's subcommand, and what runs it once the command line is parsed,
// giving the exit code.
struct Verb {
  CLI::App* command;
  std::function<int()> run;
};

// In the order --help lists them.
Verb AddCreateVerb(CLI::App* app);
Verb AddListVerb(CLI::App* app);
Verb AddUnpackVerb(CLI::App* app);
Verb AddVerifyVerb(CLI::App* app);
Verb AddBlockVerb(CLI::App* app);
Verb AddEmbedVerb(CLI::App* app);
Verb AddBuildVerb(CLI::App* app);
Verb AddSignVerb(CLI::App* app);
Verb AddCheckVerb(CLI::App* app);
Verb AddIniVerb(CLI::App* app);

// updpack's version, and which stub embed and build take by default.
std::string VersionText();

// One file to pack under an entry name.
struct PackSource {
  fs::path path;
  std::string name;  // Shift-JIS
  bool store;        // kept plain, not compressed
  // Its earlier versions, read only while its entry is encoded.
  std::vector<fs::path> oldFiles = {};
};

struct PackedSources {
  std::vector<uint8_t> image;
  // Per source, what its entry was weighed as (EncodedEntry without its
  // block): for telling what a patch saved.
  std::vector<EncodedEntry> choices;
};

// The package of the files, in this order, encoded on `jobs` threads, with
// a progress line; throws ToolError.
PackedSources PackSources(const std::vector<PackSource>& sources,
                          const PackageOptions& options, unsigned jobs,
                          bool keepWhole = false);

// One line per source, for packing with old versions: whole or patch, and
// the sizes weighed.
void PrintPatchChoices(const std::vector<PackSource>& sources,
                       const std::vector<EncodedEntry>& choices, bool keepWhole);

// The icon's images and the version record, ready to embed.
struct Branding {
  std::optional<IconImages> icon;
  std::vector<uint8_t> versionRecord;
};

// Reads the icon and makes the version record of an updater written to
// `output`, from the UPDATE.INI at `iniPath` (an IniReaderPath; empty when
// there is none); throws ToolError naming what is wrong.
Branding MakeBranding(const BrandingOptions& options, const std::string& iniPath,
                      const fs::path& output);

// The stub that ships beside updpack.
fs::path DefaultStubPath();
// The stub's bytes with `package` as its resource "UPDATE" 102, its
// integrity record as "UPDATE" 103, and the branding's version record and
// icon (replacing those it holds); throws ToolError when the stub cannot
// take them.
std::vector<uint8_t> EmbedPackage(const fs::path& stub,
                                  const std::vector<uint8_t>& package,
                                  const Branding& branding);

// The updater's bytes with an Authenticode signature (osslsigncode makes
// it); throws ToolError saying why when it cannot.
std::vector<uint8_t> SignUpdater(const std::vector<uint8_t>& updater,
                                 const SignOptions& options);
