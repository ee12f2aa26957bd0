// Applying a patch to files in memory, for the tests: every read must stay
// inside the old file and every write within the new size; a read or a
// write may be made to fail.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "package/patch_apply.h"

namespace patch_test {

using Bytes = std::vector<uint8_t>;

// The old file in memory: every read must stay inside it, and may be made
// to fail from the `failAt`-th on.
struct OldFile {
  const Bytes* bytes;
  size_t reads = 0, failAt = SIZE_MAX;
  bool outside = false;
};

// The new file as the sink receives it: at most `limit` bytes, and a write
// may be made to fail from the `failAt`-th on.
struct NewFile {
  Bytes bytes;
  size_t limit = SIZE_MAX, writes = 0, failAt = SIZE_MAX;
};

inline std::optional<Bytes> ApplyInMemory(const Bytes& old, const Bytes& patch, size_t newSize,
                           OldFile* reader = nullptr, NewFile* sink = nullptr) {
  OldFile defaultReader{&old};
  NewFile defaultSink;
  if (!reader) reader = &defaultReader;
  if (!sink) sink = &defaultSink;
  sink->limit = newSize;
  PatchOldFile in{[](void* ctx, uint32_t offset, uint8_t* dest, uint32_t size) {
                    auto& r = *static_cast<OldFile*>(ctx);
                    if (offset > r.bytes->size() || size > r.bytes->size() - offset) {
                      r.outside = true;
                      return false;
                    }
                    if (r.reads++ >= r.failAt) return false;
                    std::memcpy(dest, r.bytes->data() + offset, size);
                    return true;
                  },
                  reader};
  PatchSink out{[](void* ctx, const uint8_t* bytes, uint32_t size) {
                  auto& s = *static_cast<NewFile*>(ctx);
                  if (s.writes++ >= s.failAt) return false;
                  s.bytes.insert(s.bytes.end(), bytes, bytes + size);
                  return s.bytes.size() <= s.limit;
                },
                sink};
  // An exactly sized copy, so that an address checker sees any read past it.
  const Bytes exact(patch);
  const bool ok = ApplyPatch(exact.data(), uint32_t(exact.size()), uint32_t(old.size()),
                             uint32_t(newSize), in, out);
  EXPECT_FALSE(reader->outside) << "read outside the old file";
  EXPECT_LE(sink->bytes.size(), newSize) << "wrote past the new size";
  if (!ok) return std::nullopt;
  EXPECT_EQ(sink->bytes.size(), newSize);
  return sink->bytes;
}

}  // namespace patch_test
