// The verbs of updpack, called by main once the command line is parsed. They
// throw ToolError for a failure the user is to be told about.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ini_encoding.h"
#include "pack/compress.h"
#include "pack/icon_resources.h"
#include "pack/package_writer.h"
#include "pack/version_record.h"
#include "tool_support.h"

// Installations of earlier versions (--from): a file that is in one, with
// other bytes, may travel as a patch against it.
struct OldVersionOptions {
  std::vector<std::string> folders;
  bool keepWhole = false;  // a patch entry also carries the whole file
};

struct CreateOptions {
  std::string output;
  CompressLevel level = CompressLevel::Best;
  std::vector<std::string> storeGlobs;
  bool compressDirectory = false;
  unsigned jobs = 1;  // threads that encode entries
  std::vector<std::string> paths;
  OldVersionOptions from;
};

void RunCreate(const CreateOptions& options);

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
void RunList(const std::string& package, bool json);
// A patch entry is written from its old version in `from` (old
// installations), or else as the whole file it carries; one that is neither
// is told and skipped, and the verb fails once the others are written.
void RunUnpack(const std::string& package, const std::string& folder,
               const std::vector<std::string>& from);
struct VerifyOptions {
  std::string package;
  bool json = false;   // the findings as JSON on stdout
  bool quiet = false;  // nothing printed: the exit code only
  // Old installations: each patch entry is applied to the files of its old
  // versions found there.
  std::vector<std::string> from;
};

// 0 when the package (or updater) is sound, 1 after reporting what is wrong.
int RunVerify(const VerifyOptions& options);
void RunBlockDecode(const std::string& input, const std::string& output);
void RunBlockEncode(const std::string& input, const std::string& output,
                    CompressLevel level);
// Prints the count, the value in hex and as UTF-8; 1 when the count is 0.
int RunIni(const std::string& file, const std::string& section,
           const std::string& key, uint32_t capacity);

// What an updater shows of itself: its icon, and the texts of its version
// record, each taken from UPDATE.INI's [SETUP] unless given (UTF-8).
struct BrandingOptions {
  std::string icon;  // an .ico file; empty: the stub's own icons, if any
  std::optional<std::string> companyName, productName, fileDescription,
      fileVersion, productVersion, originalFilename;
};

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

struct EmbedOptions {
  std::string stub;  // empty: updater.exe beside updpack
  std::string package;
  std::string output;
  BrandingOptions branding;
};

// The stub that ships beside updpack.
fs::path DefaultStubPath();
// The stub's bytes with `package` as its resource "UPDATE" 102, its
// integrity record as "UPDATE" 103, and the branding's version record and
// icon (replacing those it holds); throws ToolError when the stub cannot
// take them.
std::vector<uint8_t> EmbedPackage(const fs::path& stub,
                                  const std::vector<uint8_t>& package,
                                  const Branding& branding);
void RunEmbed(const EmbedOptions& options);

// How check reports: lines on stderr and a summary, one JSON object on
// stdout, or only the exit code.
enum class CheckOutput { Text, Json, Quiet };

// 0 when UPDATE.INI has no finding that fails the run, 1 otherwise; with a
// package, its entries and size are checked too.
int RunCheck(const std::string& ini, const std::string& package,
             CheckOutput output);

// The key an updater is signed with: a PKCS#12 file, or a certificate and
// its key; the key's password from a file or an environment variable.
struct SignOptions {
  std::string pkcs12;
  std::string certificate, key;
  std::string passwordFile, passwordEnv;
  std::string timestampUrl;  // empty: no time stamp from a server

  bool Requested() const { return !pkcs12.empty() || !certificate.empty(); }
};

// The updater's bytes with an Authenticode signature (osslsigncode makes
// it); throws ToolError saying why when it cannot.
std::vector<uint8_t> SignUpdater(const std::vector<uint8_t>& updater,
                                 const SignOptions& options);
void RunSign(const std::string& input, const std::string& output,
             const SignOptions& options);

struct BuildOptions {
  std::string folder;  // UPDATE.INI and the files
  std::string output;
  CompressLevel level = CompressLevel::Best;
  unsigned jobs = 1;  // threads that encode entries
  std::string stub;  // empty: updater.exe beside updpack
  IniEncoding iniEncoding = IniEncoding::Auto;
  SignOptions sign;  // signs the updater as the last step when requested
  BrandingOptions branding;
  OldVersionOptions from;
};

// Checks UPDATE.INI, packs it and the files its lines name, embeds the
// package and signs the result when asked; writes nothing when the check
// finds an error or the signature cannot be made.
void RunBuild(const BuildOptions& options);

// updpack's version, and which stub embed and build take by default.
std::string VersionText();
