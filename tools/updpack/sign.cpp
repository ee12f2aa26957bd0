// updpack sign, and the last step of build: an Authenticode signature made
// by osslsigncode. updpack hands it the updater, the key and the password
// (through a pipe, never on a command line) and keeps what it writes only
// once it is a whole signed executable.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

#include "host.h"
#include "package_reader.h"
#include "verbs.h"

namespace {

constexpr const char* kSigner = "osslsigncode";

// A folder only we can read, for osslsigncode's input and output; removed
// with everything in it on every path.
class PrivateFolder {
 public:
  PrivateFolder() {
    std::random_device random;
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      const fs::path candidate =
          base / ("updpack-sign-" + std::to_string(random()));
      std::error_code ec;
      if (fs::create_directory(candidate, ec)) {
        path_ = candidate;
        fs::permissions(path_, fs::perms::owner_all, ec);
        return;
      }
    }
    throw ToolError("cannot make a temporary folder in " + Quote(base));
  }
  ~PrivateFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The key's password: a file's first line, or an environment variable's
// value; empty when neither is given.
std::string Password(const SignOptions& options) {
  if (!options.passwordFile.empty()) {
    const std::vector<uint8_t> bytes =
        ReadWholeFileOrThrow(PathFromUtf8(options.passwordFile));
    std::string text(bytes.begin(), bytes.end());
    const size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos) text.resize(end);
    return text;
  }
  if (!options.passwordEnv.empty()) {
    const char* value = std::getenv(options.passwordEnv.c_str());
    if (!value) {
      throw ToolError("the environment variable " + options.passwordEnv +
                      " (--password-env) is not set");
    }
    return value;
  }
  return std::string();
}

// The signing time: SOURCE_DATE_EPOCH when set, so that a rebuild signed
// with the same key gives the same bytes; empty for the current time.
std::string SigningTime() {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (!epoch || !*epoch) return std::string();
  for (const char* c = epoch; *c; ++c) {
    if (*c < '0' || *c > '9') {
      throw ToolError(std::string("SOURCE_DATE_EPOCH is not a number of "
                                  "seconds: '") + epoch + "'");
    }
  }
  return epoch;
}

bool HasSignature(const std::vector<uint8_t>& image) {
  PeHeaders headers;
  return ParsePeHeaders(image.data(), image.size(), &headers) == PeFault::None &&
         headers.DirectorySize(kPeCertificateDirectory, image.data()) != 0;
}

}  // namespace

std::vector<uint8_t> SignUpdater(const std::vector<uint8_t>& updater,
                                 const SignOptions& options) {
  const std::string password = Password(options);
  const std::string time = SigningTime();
  const PrivateFolder folder;
  const fs::path unsignedPath = folder.path() / "unsigned.exe";
  const fs::path signedPath = folder.path() / "signed.exe";
  WriteFileReplacing(unsignedPath, updater.data(), updater.size());

  std::vector<std::string> arguments = {"sign", "-h", "sha256"};
  if (!options.pkcs12.empty()) {
    arguments.insert(arguments.end(), {"-pkcs12", options.pkcs12});
  } else {
    arguments.insert(arguments.end(),
                     {"-certs", options.certificate, "-key", options.key});
  }
  if (!options.passwordFile.empty() || !options.passwordEnv.empty()) {
    arguments.insert(arguments.end(), {"-readpass", kStdinFileName});
  }
  if (!options.timestampUrl.empty()) {
    arguments.insert(arguments.end(), {"-ts", options.timestampUrl});
  }
  if (!time.empty()) arguments.insert(arguments.end(), {"-time", time});
  arguments.insert(arguments.end(),
                   {"-in", Utf8(unsignedPath), "-out", Utf8(signedPath)});

  std::string output;
  const int status = RunProgram(kSigner, arguments, password, &output);
  if (status == -1) {
    throw ToolError(std::string(kSigner) +
                    ", which makes the signature, is not installed or not on "
                    "the search path (on Debian: apt-get install osslsigncode)");
  }
  if (status != 0) {
    // Its own words say what was wrong: the password, the key, the server.
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) {
      output.pop_back();
    }
    if (!output.empty()) std::fprintf(stderr, "%s\n", output.c_str());
    throw ToolError(std::string(kSigner) + " could not sign the updater (exit "
                    "status " + std::to_string(status) + ")");
  }
  std::error_code ec;
  std::vector<uint8_t> signedImage;
  if (fs::exists(signedPath, ec)) signedImage = ReadWholeFileOrThrow(signedPath);
  if (!HasSignature(signedImage)) {
    throw ToolError(std::string(kSigner) +
                    " reported success but wrote no signed executable");
  }
  return signedImage;
}

namespace {

void RunSign(const std::string& input, const std::string& output,
             const SignOptions& options) {
  const fs::path inputPath = PathFromUtf8(input);
  const std::vector<uint8_t> updater = ReadWholeFileOrThrow(inputPath);
  std::vector<PeResource> resources;
  const PeFault fault =
      ReadPeResources(updater.data(), updater.size(), &resources);
  if (fault != PeFault::None) {
    throw ToolError(Quote(inputPath) + ": " + PeFaultText(fault));
  }
  if (!FindPeResource(resources, PeResourceName::Named(u"UPDATE"),
                      PeResourceName::Id(kPackageResourceId),
                      kPackageResourceLanguage)) {
    std::fprintf(stderr, "updpack: warning: %s has no package (no resource "
                         "UPDATE 102), and a signed stub cannot take one: "
                         "embed first, sign last\n",
                 Quote(inputPath).c_str());
  }
  const std::vector<uint8_t> signedImage = SignUpdater(updater, options);
  const fs::path outputPath = PathFromUtf8(output);
  WriteFileReplacing(outputPath, signedImage.data(), signedImage.size());
  std::printf("%s: signed, %zu bytes\n", Quote(outputPath).c_str(),
              signedImage.size());
}

}  // namespace

Verb AddSignVerb(CLI::App* app) {
  struct Options {
    std::string input, output;
    SignOptions sign;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app->add_subcommand(
      "sign", "Sign an updater with Authenticode (through osslsigncode); "
              "embed first, sign last");
  AddArgument(command, "IN", &options->input, "Updater to sign");
  command->add_option("-o,--output", options->output, "Signed updater to write")
      ->required()
      ->type_name("OUT");
  AddSignOptions(command, "", &options->sign);
  // Checked as the parse ends, so that a missing key is a usage error.
  command->callback([options] { RequireKey(options->sign, "", true); });
  return {command, [options] {
            RunSign(options->input, options->output, options->sign);
            return 0;
          }};
}
