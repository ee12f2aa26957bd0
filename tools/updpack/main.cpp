// updpack: builds, inspects and checks update packages. The command line:
// verbs, their options and help, and the exit codes 0 (done), 1 (failed)
// and 2 (the command line is wrong).
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <new>
#include <optional>

#include "codepage.h"
#include "host.h"
#include "package/decompress.h"
#include "tool_support.h"
#include "verbs.h"

namespace {

// --level as text, checked by the parser; LevelNamed maps it once parsed.
void AddLevelOption(CLI::App* command, std::string* level) {
  command
      ->add_option("--level", *level,
                   "greedy (fast) or best (smaller, slower); default best")
      ->check(CLI::IsMember({"greedy", "best"}))
      ->type_name("LEVEL");
}

// The updater written (-o) and the stub it is made from (--stub).
void AddStubOptions(CLI::App* command, std::string* stub, std::string* output) {
  command->add_option("-o,--output", *output, "Updater to write")
      ->required()
      ->type_name("OUT");
  command
      ->add_option("--stub", *stub,
                   "The updater stub; default updater.exe beside updpack")
      ->type_name("PATH");
}

// --icon and the texts of the version record, which UPDATE.INI's [SETUP]
// gives unless told otherwise.
void AddBrandingOptions(CLI::App* command, BrandingOptions* branding) {
  command
      ->add_option("--icon", branding->icon,
                   "Icon file (.ico): every image of it becomes the "
                   "updater's icon")
      ->type_name("FILE");
  const struct {
    const char* name;
    std::optional<std::string>* field;
    const char* help;
  } texts[] = {
      {"--company-name", &branding->companyName,
       "CompanyName of the version record; default [SETUP] CompanyName"},
      {"--product-name", &branding->productName,
       "ProductName; default [SETUP] GameTitle"},
      {"--file-description", &branding->fileDescription,
       "FileDescription, shown by the administrator prompt; default "
       "GameTitle followed by \" アップデータ\""},
      {"--file-version", &branding->fileVersion,
       "FileVersion; default [SETUP] UpdaterVersion, whose leading "
       "numbers are also the numeric version"},
      {"--product-version", &branding->productVersion,
       "ProductVersion; default [SETUP] UpdaterVersion"},
      {"--original-filename", &branding->originalFilename,
       "OriginalFilename; default the name of the updater written"},
  };
  for (const auto& text : texts) {
    std::optional<std::string>* field = text.field;
    command
        ->add_option_function<std::string>(
            text.name, [field](const std::string& value) { *field = value; },
            text.help)
        ->type_name("TEXT");
  }
}

// The key and password options of sign, and of build with `prefix` "sign-".
// The password never comes from the command line, where others can read it.
void AddSignOptions(CLI::App* command, const std::string& prefix,
                    SignOptions* sign) {
  CLI::Option* pkcs12 =
      command->add_option("--" + prefix + "pkcs12", sign->pkcs12,
                          "PKCS#12 file (.pfx, .p12) with the certificate and "
                          "its key")
          ->type_name("FILE");
  CLI::Option* certificate =
      command->add_option("--" + prefix + "cert", sign->certificate,
                          "Certificate file (PEM or DER, with its chain)")
          ->type_name("FILE")
          ->excludes(pkcs12);
  CLI::Option* key = command->add_option("--" + prefix + "key", sign->key,
                                         "Private key of the certificate")
                         ->type_name("FILE")
                         ->excludes(pkcs12);
  certificate->needs(key);
  key->needs(certificate);
  CLI::Option* passwordFile =
      command->add_option("--" + prefix + "password-file", sign->passwordFile,
                          "File whose first line is the key's password")
          ->type_name("FILE");
  command
      ->add_option("--" + prefix + "password-env", sign->passwordEnv,
                   "Environment variable that holds the key's password")
      ->type_name("NAME")
      ->excludes(passwordFile);
  command
      ->add_option("--" + prefix + "timestamp", sign->timestampUrl,
                   "RFC 3161 time-stamp server, so the signature outlives "
                   "the certificate")
      ->type_name("URL");
}

// The first word that is not an option names the verb (and the next one its
// own verb, for block). CLI11 alone would only say that one is required.
std::optional<std::string> UnknownVerb(const CLI::App& app,
                                       const std::vector<std::string>& words) {
  const CLI::App* level = &app;
  std::string path;
  for (size_t i = 1; i < words.size(); ++i) {
    if (words[i].starts_with("-")) continue;
    const std::vector<const CLI::App*> verbs = level->get_subcommands({});
    if (verbs.empty()) break;
    path += (path.empty() ? "" : " ") + words[i];
    const auto known = std::find_if(verbs.begin(), verbs.end(),
                                    [&](const CLI::App* verb) {
                                      return verb->check_name(words[i]);
                                    });
    if (known == verbs.end()) return path;
    level = *known;
  }
  return std::nullopt;
}

// sign needs a key; so does build once any signing option is given, since a
// password or a server alone would quietly give an unsigned updater.
void RequireKey(const SignOptions& sign, const std::string& prefix,
                bool always) {
  const bool asked = always || !sign.passwordFile.empty() ||
                     !sign.passwordEnv.empty() || !sign.timestampUrl.empty();
  if (asked && !sign.Requested()) {
    throw CLI::RequiredError("--" + prefix + "pkcs12 or --" + prefix +
                             "cert with --" + prefix + "key");
  }
}

// -j: threads that encode entries, one per processor unless told.
void AddJobsOption(CLI::App* command, unsigned* jobs) {
  *jobs = ProcessorCount();
  command
      ->add_option("-j,--jobs", *jobs,
                   "Entries encoded at once; default one per processor (" +
                       std::to_string(*jobs) + ")")
      ->check(CLI::Range(1u, 256u))
      ->type_name("N");
}

// --from and --keep-whole of create and build.
void AddFromOptions(CLI::App* command, OldVersionOptions* from) {
  CLI::Option* folders =
      command
          ->add_option("--from", from->folders,
                       "Installation of an earlier version: a file it has "
                       "with other bytes travels as a patch when that is "
                       "smaller; may be repeated")
          ->type_name("OLD-DIR")
          ->allow_extra_args(false);
  command
      ->add_flag("--keep-whole", from->keepWhole,
                 "Keep the whole file beside its patches, for players whose "
                 "file is of no old version or missing")
      ->needs(folders);
}

CompressLevel LevelNamed(const std::string& level) {
  return level == "greedy" ? CompressLevel::Greedy : CompressLevel::Best;
}

std::string UsageFailure(const CLI::App*, const CLI::Error& error) {
  return std::string("updpack: error: ") + error.what() +
         "\nRun with --help for more information.\n";
}

}  // namespace

int main(int argc, char** argv) {
  PrepareConsole();
  PrepareDecoder();  // before any verb's threads start
  CLI::App app("Builds, inspects and checks update packages and updaters.",
               "updpack");
  app.require_subcommand(1);
  app.failure_message(UsageFailure);
  app.set_version_flag("--version", VersionText,
                       "Show updpack's version and the stub it uses");

  CreateOptions create;
  std::string createLevel = "best";
  CLI::App* createCommand = app.add_subcommand(
      "create", "Pack files and folders (recursively) into a new package");
  createCommand->add_option("-o,--output", create.output, "Package to write")
      ->required()
      ->type_name("OUT");
  AddLevelOption(createCommand, &createLevel);
  AddJobsOption(createCommand, &create.jobs);
  createCommand->add_option(
      "--store", create.storeGlobs,
      "Store files whose name matches GLOB (* and ?, any case) uncompressed; "
      "may be repeated")
      ->type_name("GLOB")
      ->allow_extra_args(false);
  createCommand->add_flag("--compress-directory", create.compressDirectory,
                          "Store the directory as a compressed block");
  AddFromOptions(createCommand, &create.from);
  createCommand->add_option("PATH", create.paths, "Files and folders to pack")
      ->required()
      ->type_name("");

  std::string package, folder, input, output;
  bool json = false;
  CLI::App* listCommand =
      app.add_subcommand("list", "Show the entries of a package, or of the "
                                 "package inside an updater");
  listCommand->add_option("PKG", package, "Package")->required()->type_name("");
  listCommand->add_flag("--json", json, "Print JSON instead of a table");

  CLI::App* unpackCommand = app.add_subcommand(
      "unpack", "Write every entry of a package (or of an updater's package) "
                "into a folder, with its time");
  unpackCommand->add_option("PKG", package, "Package")->required()->type_name("");
  unpackCommand->add_option("DIR", folder, "Folder to write into")->required()->type_name("");
  std::vector<std::string> unpackFrom;
  unpackCommand
      ->add_option("--from", unpackFrom,
                   "Installation of an earlier version: a patch entry is "
                   "written from its old file there; may be repeated")
      ->type_name("OLD-DIR")
      ->allow_extra_args(false);

  VerifyOptions verify;
  CLI::App* verifyCommand = app.add_subcommand(
      "verify", "Check that a package opens and every entry decodes, and an "
                "updater's header checksum and integrity record; exit 1 on "
                "any damage");
  verifyCommand->add_option("PKG", verify.package, "Package or updater")
      ->required()
      ->type_name("");
  CLI::Option* verifyJson = verifyCommand->add_flag(
      "--json", verify.json, "Print the findings as JSON (key, severity, message)");
  verifyCommand->add_flag("--quiet", verify.quiet, "Print nothing; exit code only")
      ->excludes(verifyJson);
  verifyCommand
      ->add_option("--from", verify.from,
                   "Installation of an earlier version: each patch is applied "
                   "to the file of its old version there and the result "
                   "checked; may be repeated")
      ->type_name("OLD-DIR")
      ->allow_extra_args(false);

  CLI::App* blockCommand =
      app.add_subcommand("block", "Encode or decode a single compressed block");
  blockCommand->require_subcommand(1);
  CLI::App* decodeCommand =
      blockCommand->add_subcommand("decode", "Decode the block IN into OUT");
  CLI::App* encodeCommand =
      blockCommand->add_subcommand("encode", "Encode the file IN as a block");
  std::string blockLevel = "best";
  AddLevelOption(encodeCommand, &blockLevel);
  for (CLI::App* command : {decodeCommand, encodeCommand}) {
    command->add_option("IN", input, "File to read")->required()->type_name("");
    command->add_option("OUT", output, "File to write")->required()->type_name("");
  }

  EmbedOptions embed;
  CLI::App* embedCommand = app.add_subcommand(
      "embed", "Write an updater: the stub with the package as its resource "
               "UPDATE 102");
  AddStubOptions(embedCommand, &embed.stub, &embed.output);
  embedCommand->add_option("--package", embed.package, "Package to embed")
      ->required()
      ->type_name("PKG");
  AddBrandingOptions(embedCommand, &embed.branding);

  BuildOptions build;
  std::string buildLevel = "best";
  CLI::App* buildCommand = app.add_subcommand(
      "build", "Check UPDATE.INI in a folder, pack it with the files its "
               "UpdateFile lines name, and write the updater");
  buildCommand->add_option("DIR", build.folder, "Folder with UPDATE.INI and the files")
      ->required()
      ->type_name("");
  AddStubOptions(buildCommand, &build.stub, &build.output);
  AddLevelOption(buildCommand, &buildLevel);
  std::string iniEncoding = "auto";
  buildCommand
      ->add_option("--ini-encoding", iniEncoding,
                   "How UPDATE.INI is written: auto (UTF-8 when it looks so), "
                   "sjis (packed as it is) or utf-8 (converted to "
                   "Shift-JIS); default auto")
      ->check(CLI::IsMember({"auto", "sjis", "utf-8"}))
      ->type_name("ENC");
  AddFromOptions(buildCommand, &build.from);
  AddBrandingOptions(buildCommand, &build.branding);
  AddSignOptions(buildCommand, "sign-", &build.sign);
  AddJobsOption(buildCommand, &build.jobs);

  SignOptions sign;
  CLI::App* signCommand = app.add_subcommand(
      "sign", "Sign an updater with Authenticode (through osslsigncode); "
              "embed first, sign last");
  signCommand->add_option("IN", input, "Updater to sign")->required()->type_name("");
  signCommand->add_option("-o,--output", output, "Signed updater to write")
      ->required()
      ->type_name("OUT");
  AddSignOptions(signCommand, "", &sign);

  std::string checkIni, checkPackage;
  CLI::App* checkCommand = app.add_subcommand(
      "check", "Report every line of an UPDATE.INI that will not do what it "
               "looks like; exit 1 when one would fail the update");
  checkCommand->add_option("INI", checkIni, "UPDATE.INI")->required()->type_name("");
  checkCommand
      ->add_option("--package", checkPackage,
                   "Package (or updater) the file goes with: its entries "
                   "are checked too")
      ->type_name("PKG");
  bool checkJson = false, checkQuiet = false;
  CLI::Option* checkJsonFlag = checkCommand->add_flag(
      "--json", checkJson,
      "Print the findings as JSON on stdout (key, severity, message)");
  checkCommand->add_flag("--quiet", checkQuiet, "Print no findings; exit code only")
      ->excludes(checkJsonFlag);

  std::string section, key;
  uint32_t capacity = 1024;
  CLI::App* iniCommand = app.add_subcommand(
      "ini", "Show what the updater reads for KEY in SECTION of an INI file: "
             "the count, the bytes in hex, the text; exit 1 when the count "
             "is 0");
  iniCommand->add_option("FILE", input, "INI file")->required()->type_name("");
  iniCommand->add_option("SECTION", section, "Section name")
      ->required()
      ->type_name("");
  iniCommand->add_option("KEY", key, "Key name")->required()->type_name("");
  iniCommand
      ->add_option("--capacity", capacity,
                   "Room for the value with its NUL, as the updater gives; "
                   "default 1024")
      ->check(CLI::Range(1u, 1u << 20))
      ->type_name("N");

  const std::vector<std::string> arguments = Utf8Arguments(argc, argv);
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) {
    pointers.push_back(argument.c_str());
  }
  if (const std::optional<std::string> verb = UnknownVerb(app, arguments)) {
    std::fprintf(stderr, "updpack: error: unknown verb '%s'\n"
                         "Run with --help for the verbs.\n", verb->c_str());
    return 2;
  }
  try {
    app.parse(static_cast<int>(pointers.size()), pointers.data());
    if (*signCommand) RequireKey(sign, "", true);
    if (*buildCommand) RequireKey(build.sign, "sign-", false);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : 2;
  }

  try {
    create.level = LevelNamed(createLevel);
    if (*createCommand) RunCreate(create);
    if (*listCommand) RunList(package, json);
    if (*unpackCommand) RunUnpack(package, folder, unpackFrom);
    if (*verifyCommand) return RunVerify(verify);
    if (*decodeCommand) RunBlockDecode(input, output);
    if (*encodeCommand) RunBlockEncode(input, output, LevelNamed(blockLevel));
    if (*embedCommand) RunEmbed(embed);
    build.level = LevelNamed(buildLevel);
    build.iniEncoding = IniEncodingNamed(iniEncoding);
    if (*buildCommand) RunBuild(build);
    if (*signCommand) RunSign(input, output, sign);
    if (*checkCommand) {
      return RunCheck(checkIni, checkPackage,
                      checkJson    ? CheckOutput::Json
                      : checkQuiet ? CheckOutput::Quiet
                                   : CheckOutput::Text);
    }
    if (*iniCommand) return RunIni(input, section, key, capacity);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "updpack: error: not enough memory\n");
    return 1;
  } catch (const std::exception& error) {  // ToolError and the library's own
    std::fprintf(stderr, "updpack: error: %s\n", error.what());
    return 1;
  }
  return 0;
}
