// Arbitrary bytes split into an old and a new file: the builder's patch must
// make the new file from the old one again.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pack/patch_builder.h"
#include "package/patch_apply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The split comes from the input; the new file repeats parts of the old
  // one when the input says so, so that copies with differences occur.
  const size_t split = (size_t(data[0]) | size_t(data[1]) << 8) % (size - 1);
  const std::vector<uint8_t> old(data + 2, data + 2 + split);
  std::vector<uint8_t> now(data + 2 + split, data + size);
  if (!now.empty() && (now[0] & 1) && !old.empty()) {
    std::vector<uint8_t> mixed;
    for (size_t i = 0; i < now.size(); ++i) {
      mixed.insert(mixed.end(), old.begin() + (now[i] % old.size()), old.end());
      mixed.push_back(now[i]);
    }
    now = mixed;
  }
  const std::vector<uint8_t> patch = BuildPatch(old.data(), old.size(), now.data(), now.size());
  std::vector<uint8_t> made;
  PatchOldFile reader{[](void* ctx, uint32_t offset, uint8_t* dest, uint32_t n) {
                        const auto& o = *static_cast<const std::vector<uint8_t>*>(ctx);
                        if (offset > o.size() || n > o.size() - offset) std::abort();
                        std::memcpy(dest, o.data() + offset, n);
                        return true;
                      },
                      const_cast<std::vector<uint8_t>*>(&old)};
  PatchSink sink{[](void* ctx, const uint8_t* bytes, uint32_t n) {
                   auto& m = *static_cast<std::vector<uint8_t>*>(ctx);
                   m.insert(m.end(), bytes, bytes + n);
                   return true;
                 },
                 &made};
  if (!ApplyPatch(patch.data(), uint32_t(patch.size()), uint32_t(old.size()),
                  uint32_t(now.size()), reader, sink) ||
      made != now)
    std::abort();
  return 0;
}
