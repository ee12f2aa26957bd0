// The options more than one verb takes: their values, and how a verb adds
// them to its subcommand.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "pack/compress.h"

namespace CLI {
class App;
}

// A word the verb requires, such as PKG: named in the usage line, with no
// type after it.
void AddArgument(CLI::App* command, const std::string& name,
                 std::string* value, const std::string& help);

// --level as text, checked by the parser; LevelNamed maps it once parsed.
void AddLevelOption(CLI::App* command, std::string* level);
CompressLevel LevelNamed(const std::string& level);

// -j: threads that encode entries, one per processor unless told.
void AddJobsOption(CLI::App* command, unsigned* jobs);

// The updater written (-o) and the stub it is made from (--stub; empty:
// updater.exe beside updpack).
void AddStubOptions(CLI::App* command, std::string* stub, std::string* output);

// Installations of earlier versions (--from): a file that is in one, with
// other bytes, may travel as a patch against it.
struct OldVersionOptions {
  std::vector<std::string> folders;
  bool keepWhole = false;  // a patch entry also carries the whole file
};

// --from and --keep-whole of create and build.
void AddFromOptions(CLI::App* command, OldVersionOptions* from);

// What an updater shows of itself: its icon, and the texts of its version
// record, each taken from UPDATE.INI's [SETUP] unless given (UTF-8).
struct BrandingOptions {
  std::string icon;  // an .ico file; empty: the stub's own icons, if any
  std::optional<std::string> companyName, productName, fileDescription,
      fileVersion, productVersion, originalFilename;
};

// --icon and the texts of the version record.
void AddBrandingOptions(CLI::App* command, BrandingOptions* branding);

// The key an updater is signed with: a PKCS#12 file, or a certificate and
// its key; the key's password from a file or an environment variable.
struct SignOptions {
  std::string pkcs12;
  std::string certificate, key;
  std::string passwordFile, passwordEnv;
  std::string timestampUrl;  // empty: no time stamp from a server

  bool Requested() const { return !pkcs12.empty() || !certificate.empty(); }
};

// The key and password options of sign, and of build with `prefix` "sign-".
void AddSignOptions(CLI::App* command, const std::string& prefix,
                    SignOptions* sign);

// Throws CLI::RequiredError, a usage error, when a key is needed and none
// is given: always for sign, and for build once any signing option is.
void RequireKey(const SignOptions& sign, const std::string& prefix,
                bool always);
