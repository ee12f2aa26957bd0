// Writing a patch's operations as the stream of core/patch_format.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/patch_format.h"

// One operation as the builder chooses it: `length` literals (coded, or
// raw), or a copy of `length` bytes from the old file at `from` (with the
// differences the new bytes have from them) or from `from` bytes back in
// the new file.
struct PatchOp {
  patch::Kind kind;
  uint32_t length;
  uint32_t from;
};

// The patch for `ops`, which must make exactly the new file.
std::vector<uint8_t> EncodePatch(const uint8_t* old, size_t oldSize, const uint8_t* now,
                                 size_t nowSize, const std::vector<PatchOp>& ops);
