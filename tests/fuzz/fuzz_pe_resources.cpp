// The PE resource reader over arbitrary bytes: it must never read outside
// them, every resource it returns must lie inside them, and whatever image it
// reads and the writer accepts must read back with the package put in.
// Input that does not start with "MZ" is taken as patches to the hand-made
// stub of the embedding tests (two bytes of offset, one of value each), so
// that a run from an empty corpus reaches the resource tree at once.
#include <cstdint>
#include <cstring>
#include <vector>

#include "../embed/test_image.h"
#include "pack/pe_resources.h"

static int Check(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 2 && data[0] == 'M' && data[1] == 'Z') return Check(data, size);
  static const std::vector<uint8_t> kStub = BuildTestImage(StubLikeImage());
  std::vector<uint8_t> image = kStub;
  for (size_t i = 0; i + 3 <= size; i += 3) {
    image[(data[i] | data[i + 1] << 8) % image.size()] = data[i + 2];
  }
  return Check(image.data(), image.size());
}

static int Check(const uint8_t* data, size_t size) {
  std::vector<PeResource> resources;
  if (ReadPeResources(data, size, &resources) != PeFault::None) return 0;
  for (const PeResource& r : resources) {
    if (r.size && (r.data < data || r.data + r.size > data + size)) {
      __builtin_trap();
    }
  }
  static const uint8_t kPackage[] = {'Q', 'W', '2', 0, 1, 2, 3};
  PeResource package;
  package.type = PeResourceName::Named(u"UPDATE");
  package.name = PeResourceName::Id(102);
  package.language = 1041;
  package.data = kPackage;
  package.size = sizeof kPackage;
  PutPeResource(&resources, package);
  std::vector<uint8_t> out;
  if (WritePeResources(data, size, resources, &out) != PeFault::None) return 0;
  std::vector<PeResource> back;
  if (ReadPeResources(out.data(), out.size(), &back) != PeFault::None) {
    __builtin_trap();
  }
  const PeResource* found = FindPeResource(back, package.type, package.name, 1041);
  if (!found || found->size != sizeof kPackage ||
      std::memcmp(found->data, kPackage, sizeof kPackage) != 0) {
    __builtin_trap();
  }
  return 0;
}
