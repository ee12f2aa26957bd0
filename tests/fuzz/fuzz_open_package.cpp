// OpenPackageImage over arbitrary bytes: it must never read outside them, and
// whatever it accepts must keep every entry's data inside the package.
#include <cstdint>
#include <cstdlib>

#include "package/package.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return 0;
  PackageDirectory* directory = OpenPackageImage(data, uint32_t(size));
  if (!directory) return 0;
  const uint32_t directoryOffset = ReadPackageHeader(directory).DirectoryOffset;
  const uint32_t count = DirectoryEntryCount(directory);
  for (uint32_t i = 0; i < count; ++i) {
    const PackageEntry record = ReadPackageEntry(
        directory + kPackageHeaderSize + uint64_t{i} * kPackageEntrySize);
    PackageEntry found;
    uint32_t offset = 0;
    // The lookup by an entry's own name finds it or an earlier namesake.
    if (!FindPackageEntry(directory, record.Name, &found, &offset) ||
        uint64_t{offset} + found.StoredSize > directoryOffset ||
        directoryOffset > size) {
      __builtin_trap();
    }
  }
  std::free(directory);
  return 0;
}
