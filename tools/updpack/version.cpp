// updpack --version: the tool's version, and what the stub it takes by
// default is. The stub carries no version resource (the updater has none),
// so it is named by its size and fingerprint: with reproducible builds, one
// source gives one fingerprint.
#include <cstdio>

#include "host.h"
#include "pack/integrity_record.h"
#include "package_reader.h"
#include "verbs.h"

#ifndef UPD_VERSION
#error "the build sets UPD_VERSION"
#endif

std::string VersionText() {
  std::string text = "updpack " UPD_VERSION "\n";
  const fs::path stub = DefaultStubPath();
  std::error_code ec;
  if (!fs::is_regular_file(stub, ec)) {
    return text + "stub: none beside updpack (" + Quote(stub) +
           "); embed and build need --stub";
  }
  const std::vector<uint8_t> bytes = ReadWholeFileOrThrow(stub);
  char fingerprint[16];
  std::snprintf(fingerprint, sizeof fingerprint, "%08x",
                Crc32(Crc32Tables(), 0, bytes.data(), bytes.size()));
  text += "stub: " + Quote(stub) + ", " + std::to_string(bytes.size()) +
          " bytes, CRC-32 " + fingerprint;
  PeHeaders headers;
  if (ParsePeHeaders(bytes.data(), bytes.size(), &headers) != PeFault::None) {
    return text + ", not a Windows executable";
  }
  if (headers.DirectorySize(kPeCertificateDirectory, bytes.data())) {
    text += ", signed";
  }
  return text;
}
