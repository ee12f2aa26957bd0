// The options more than one verb takes, added to a verb's subcommand.
#include "options.h"

#include <CLI/CLI.hpp>

#include "host.h"

void AddArgument(CLI::App* command, const std::string& name,
                 std::string* value, const std::string& help) {
  command->add_option(name, *value, help)->required()->type_name("");
}

void AddLevelOption(CLI::App* command, std::string* level) {
  command
      ->add_option("--level", *level,
                   "greedy (fast) or best (smaller, slower); default best")
      ->check(CLI::IsMember({"greedy", "best"}))
      ->type_name("LEVEL");
}

void AddStubOptions(CLI::App* command, std::string* stub, std::string* output) {
  command->add_option("-o,--output", *output, "Updater to write")
      ->required()
      ->type_name("OUT");
  command
      ->add_option("--stub", *stub,
                   "The updater stub; default updater.exe beside updpack")
      ->type_name("PATH");
}

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

void AddJobsOption(CLI::App* command, unsigned* jobs) {
  *jobs = ProcessorCount();
  command
      ->add_option("-j,--jobs", *jobs,
                   "Entries encoded at once; default one per processor (" +
                       std::to_string(*jobs) + ")")
      ->check(CLI::Range(1u, 256u))
      ->type_name("N");
}

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
