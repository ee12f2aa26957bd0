// The package of the updater under test.
//
// The POSIX layer reads its package once per process, as an executable
// carries one for its whole life. These tests run many updaters in one
// process, so each run's package is handed over here instead: these
// definitions are linked in place of the layer's own.
#include "test_package.h"

#include "platform/platform.h"

namespace {
std::vector<uint8_t> gPackage;
std::optional<std::vector<uint8_t>> gRecord;
}  // namespace

void SetTestPackage(const std::vector<uint8_t>& image,
                    const std::optional<std::vector<uint8_t>>& record) {
  gPackage = image;
  gRecord = record;
}

bool PlatLocatePackage(const uint8_t** image, uint32_t* size) {
  if (gPackage.empty()) return false;
  *image = gPackage.data();
  *size = static_cast<uint32_t>(gPackage.size());
  return true;
}

// The test's copy is ordinary memory: nothing to drop.
void PlatReleasePackageBytes(const uint8_t*, uint32_t) {}

bool PlatLocateIntegrityRecord(const uint8_t** image, uint32_t* size) {
  if (!gRecord) return false;
  *image = gRecord->data();
  *size = static_cast<uint32_t>(gRecord->size());
  return true;
}
