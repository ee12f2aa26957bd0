// updpack embed: the updater stub with a package as its resource
// "UPDATE" 102, the package's integrity record as "UPDATE" 103 and the
// version record (and icon) for its UPDATE.INI, written as a new executable.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>

#include "check.h"
#include "host.h"
#include "ini_encoding.h"
#include "pack/integrity_record.h"
#include "pack/version_record.h"
#include "package_reader.h"
#include "verbs.h"

namespace {

// Japanese, as the dialog is.
constexpr uint16_t kIconLanguage = 1041;

// The branding of an updater of this package: [SETUP] as the package's own
// UPDATE.INI gives it, read from a copy in a file of its own.
Branding BrandingOfPackage(const LoadedPackage& package,
                           const BrandingOptions& options,
                           const fs::path& output) {
  for (const ListedEntry& listed : package.entries) {
    if (!EntryNamesEqual(listed.entry.Name, "UPDATE.INI")) continue;
    const std::vector<uint8_t> bytes = EntryBytes(package, listed);
    const ConvertedIniFile ini(std::string(bytes.begin(), bytes.end()),
                               std::nullopt);
    return MakeBranding(options, IniReaderPath(ini.path()), output);
  }
  return MakeBranding(options, "", output);
}

}  // namespace

fs::path DefaultStubPath() {
  const fs::path folder = ToolFolder();
  return folder.empty() ? fs::path("updater.exe") : folder / "updater.exe";
}

namespace {

// The updater is a 32-bit program, large-address aware: on 64-bit Windows
// its process has 4 GiB of addresses, but the executable, package and all,
// is mapped in one piece below 2 GiB, where the system's own 32-bit DLLs
// take the top. 1.5 GiB from the image's base leaves them, the stacks and
// the heap the rest; the run's own buffers (64 MiB at most) fit above 2 GiB.
constexpr uint64_t kMaxUpdaterImage = uint64_t{3} << 29;

// Refuses an updater the player's Windows could not load, instead of
// writing one that fails there.
void CheckMappable(const std::vector<uint8_t>& updater, const fs::path& stubPath) {
  PeHeaders headers;
  if (ParsePeHeaders(updater.data(), updater.size(), &headers) != PeFault::None) {
    throw ToolError("cannot embed into " + Quote(stubPath) + ": the result does not read back");
  }
  if (headers.sizeOfImage > kMaxUpdaterImage) {
    throw ToolError("the updater would take " + std::to_string(headers.sizeOfImage) +
                    " bytes of addresses as mapped, more than the " +
                    std::to_string(kMaxUpdaterImage) +
                    " a 32-bit program can map in one piece on 64-bit Windows;"
                    " split the update into smaller ones");
  }
}

}  // namespace

std::vector<uint8_t> EmbedPackage(const fs::path& stubPath,
                                  const std::vector<uint8_t>& package,
                                  const Branding& branding) {
  std::error_code ec;
  if (!fs::exists(stubPath, ec)) {
    throw ToolError("the updater stub " + Quote(stubPath) +
                    " does not exist; name one with --stub");
  }
  std::vector<uint8_t> record;
  if (!BuildIntegrityRecord(package.data(), static_cast<uint32_t>(package.size()),
                            &record)) {
    throw ToolError("the package to embed does not open");
  }
  const std::vector<uint8_t> stub = ReadWholeFileOrThrow(stubPath);
  std::vector<PeResource> resources;
  PeFault fault = ReadPeResources(stub.data(), stub.size(), &resources);
  if (fault == PeFault::None) {
    const std::pair<uint16_t, const std::vector<uint8_t>*> parts[] = {
        {kPackageResourceId, &package}, {kIntegrityResourceId, &record}};
    for (const auto& [id, bytes] : parts) {
      PeResource resource;
      resource.type = PeResourceName::Named(u"" UPD_PACKAGE_TYPE);
      resource.name = PeResourceName::Id(id);
      resource.language = kPackageResourceLanguage;
      resource.data = bytes->data();
      resource.size = static_cast<uint32_t>(bytes->size());
      PutPeResource(&resources, resource);
    }
    PutVersionRecord(&resources, branding.versionRecord);
    if (branding.icon) {
      PutIconResources(&resources, *branding.icon, kIconLanguage);
    }
    std::vector<uint8_t> updater;
    fault = WritePeResources(stub.data(), stub.size(), resources, &updater);
    if (fault == PeFault::None) {
      CheckMappable(updater, stubPath);
      return updater;
    }
  }
  throw ToolError("cannot embed into " + Quote(stubPath) + ": " +
                  PeFaultText(fault));
}

namespace {

struct EmbedOptions {
  std::string stub;  // empty: updater.exe beside updpack
  std::string package;
  std::string output;
  BrandingOptions branding;
};

void RunEmbed(const EmbedOptions& options) {
  const fs::path packagePath = PathFromUtf8(options.package);
  // Opened first, so that nothing but a sound package goes in.
  const LoadedPackage package = LoadPackage(packagePath);
  const fs::path stub =
      options.stub.empty() ? DefaultStubPath() : PathFromUtf8(options.stub);
  const fs::path output = PathFromUtf8(options.output);
  const Branding branding = BrandingOfPackage(package, options.branding, output);
  const std::vector<uint8_t> updater = EmbedPackage(stub, package.image, branding);
  WriteFileReplacing(output, updater.data(), updater.size());
  std::printf("%s: %zu bytes, with a package of %zu entries in %zu bytes\n",
              Quote(output).c_str(), updater.size(), package.entries.size(),
              package.image.size());
}

}  // namespace

Verb AddEmbedVerb(CLI::App* app) {
  auto options = std::make_shared<EmbedOptions>();
  CLI::App* command = app->add_subcommand(
      "embed", "Write an updater: the stub with the package as its resource "
               "UPDATE 102");
  AddStubOptions(command, &options->stub, &options->output);
  command->add_option("--package", options->package, "Package to embed")
      ->required()
      ->type_name("PKG");
  AddBrandingOptions(command, &options->branding);
  return {command, [options] {
            RunEmbed(*options);
            return 0;
          }};
}
