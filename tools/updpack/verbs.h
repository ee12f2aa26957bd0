// The verbs of updpack, called by main once the command line is parsed. They
// throw ToolError for a failure the user is to be told about.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pack/compress.h"
#include "pack/package_writer.h"
#include "tool_support.h"

struct CreateOptions {
  std::string output;
  CompressLevel level = CompressLevel::Best;
  std::vector<std::string> storeGlobs;
  bool compressDirectory = false;
  unsigned jobs = 1;  // threads that encode entries
  std::vector<std::string> paths;
};

void RunCreate(const CreateOptions& options);

// One file to pack under an entry name.
struct PackSource {
  fs::path path;
  std::string name;  // Shift-JIS
  bool store;        // kept plain, not compressed
};

// The package of the files, in this order, encoded on `jobs` threads, with
// a progress line; throws ToolError.
std::vector<uint8_t> PackSources(const std::vector<PackSource>& sources,
                                 const PackageOptions& options, unsigned jobs);
void RunList(const std::string& package, bool json);
void RunUnpack(const std::string& package, const std::string& folder);
// 0 when the package is sound, 1 after reporting what is wrong.
int RunVerify(const std::string& package);
void RunBlockDecode(const std::string& input, const std::string& output);
void RunBlockEncode(const std::string& input, const std::string& output,
                    CompressLevel level);
// Prints the count, the value in hex and as UTF-8; 1 when the count is 0.
int RunIni(const std::string& file, const std::string& section,
           const std::string& key, uint32_t capacity);

struct EmbedOptions {
  std::string stub;  // empty: updater.exe beside updpack
  std::string package;
  std::string output;
};

// The stub that ships beside updpack.
fs::path DefaultStubPath();
// The stub's bytes with `package` as its resource "UPDATE" 102 (replacing
// one it holds); throws ToolError when the stub cannot take it.
std::vector<uint8_t> EmbedPackage(const fs::path& stub,
                                  const std::vector<uint8_t>& package);
void RunEmbed(const EmbedOptions& options);

// 0 when UPDATE.INI has no finding that fails the run, 1 otherwise; with a
// package, its entries and size are checked too.
int RunCheck(const std::string& ini, const std::string& package);

struct BuildOptions {
  std::string folder;  // UPDATE.INI and the files
  std::string output;
  CompressLevel level = CompressLevel::Best;
  unsigned jobs = 1;  // threads that encode entries
  std::string stub;  // empty: updater.exe beside updpack
};

// Checks UPDATE.INI, packs it and the files its lines name, and embeds the
// package; writes nothing when the check finds an error.
void RunBuild(const BuildOptions& options);
