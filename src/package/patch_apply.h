// Applier of patches (core/patch_format.h): an old file and a patch give the
// new file, in pieces, with memory that does not depend on either size.
#pragma once
#include <cstdint>

// The old file, read where the patch needs it: `size` bytes at `offset`
// into `dest`; false on a read error.
struct PatchOldFile {
  bool (*read)(void* ctx, uint32_t offset, uint8_t* dest, uint32_t size);
  void* ctx;
};

// Receives the new file's bytes in order, piece by piece; false stops the
// applier (a failed write).
struct PatchSink {
  bool (*write)(void* ctx, const uint8_t* bytes, uint32_t size);
  void* ctx;
};

// Applies `patch` to an old file of `oldSize` bytes, giving exactly
// `newSize` bytes to `sink`. False on a damaged patch (any offset or
// length outside either file, a truncated or overlong stream, a result of
// another size), a failed read, a failed write or no memory.
bool ApplyPatch(const uint8_t* patch, uint32_t patchSize, uint32_t oldSize,
                uint32_t newSize, PatchOldFile old, PatchSink sink);
