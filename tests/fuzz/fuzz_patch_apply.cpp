// Arbitrary bytes as a patch against a small old file: the applier must read
// only inside the old file and the patch, hand the sink no more than the new
// size (into a buffer of exactly that size), and all of it when it succeeds.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "package/patch_apply.h"

namespace {

struct Old {
  std::vector<uint8_t> bytes;
};

struct New {
  std::vector<uint8_t> bytes;
  size_t written = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  // Both sizes come from the input, the old file's bytes from a pattern
  // that copies can recognise; the rest is the patch, exactly sized.
  Old old;
  old.bytes.resize((size_t(data[0]) | size_t(data[1]) << 8) % 3000);
  for (size_t i = 0; i < old.bytes.size(); ++i) old.bytes[i] = uint8_t(i * 7 + (i >> 8));
  New now;
  now.bytes.resize((size_t(data[2]) | size_t(data[3]) << 8) % 20000);
  const std::vector<uint8_t> patch(data + 4, data + size);

  PatchOldFile reader{[](void* ctx, uint32_t offset, uint8_t* dest, uint32_t n) {
                        const auto& o = *static_cast<Old*>(ctx);
                        if (offset > o.bytes.size() || n > o.bytes.size() - offset) std::abort();
                        std::memcpy(dest, o.bytes.data() + offset, n);
                        return true;
                      },
                      &old};
  PatchSink sink{[](void* ctx, const uint8_t* bytes, uint32_t n) {
                   auto& w = *static_cast<New*>(ctx);
                   if (n > w.bytes.size() - w.written) std::abort();
                   std::memcpy(w.bytes.data() + w.written, bytes, n);
                   w.written += n;
                   return true;
                 },
                 &now};
  if (ApplyPatch(patch.data(), uint32_t(patch.size()), uint32_t(old.bytes.size()),
                 uint32_t(now.bytes.size()), reader, sink) &&
      now.written != now.bytes.size())
    std::abort();
  return 0;
}
