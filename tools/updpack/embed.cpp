// updpack embed: the updater stub with a package as its resource
// "UPDATE" 102, written as a new executable.
#include <cstdio>

#include "host.h"
#include "package_reader.h"
#include "verbs.h"

fs::path DefaultStubPath() {
  const fs::path folder = ToolFolder();
  return folder.empty() ? fs::path("updater.exe") : folder / "updater.exe";
}

std::vector<uint8_t> EmbedPackage(const fs::path& stubPath,
                                  const std::vector<uint8_t>& package) {
  std::error_code ec;
  if (!fs::exists(stubPath, ec)) {
    throw ToolError("the updater stub " + Quote(stubPath) +
                    " does not exist; name one with --stub");
  }
  const std::vector<uint8_t> stub = ReadWholeFileOrThrow(stubPath);
  std::vector<PeResource> resources;
  PeFault fault = ReadPeResources(stub.data(), stub.size(), &resources);
  if (fault == PeFault::None) {
    PeResource resource;
    resource.type = PeResourceName::Named(u"" UPD_PACKAGE_TYPE);
    resource.name = PeResourceName::Id(kPackageResourceId);
    resource.language = kPackageResourceLanguage;
    resource.data = package.data();
    resource.size = static_cast<uint32_t>(package.size());
    PutPeResource(&resources, resource);
    std::vector<uint8_t> updater;
    fault = WritePeResources(stub.data(), stub.size(), resources, &updater);
    if (fault == PeFault::None) return updater;
  }
  throw ToolError("cannot embed into " + Quote(stubPath) + ": " +
                  PeFaultText(fault));
}

void RunEmbed(const EmbedOptions& options) {
  const fs::path packagePath = PathFromUtf8(options.package);
  // Opened first, so that nothing but a sound package goes in.
  const LoadedPackage package = LoadPackage(packagePath);
  const fs::path stub =
      options.stub.empty() ? DefaultStubPath() : PathFromUtf8(options.stub);
  const std::vector<uint8_t> updater = EmbedPackage(stub, package.image);
  const fs::path output = PathFromUtf8(options.output);
  WriteFileReplacing(output, updater.data(), updater.size());
  std::printf("%s: %zu bytes, with a package of %zu entries in %zu bytes\n",
              Quote(output).c_str(), updater.size(), package.entries.size(),
              package.image.size());
}
