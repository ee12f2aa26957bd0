// Decoder of the package's compressed blocks.
#pragma once
#include <cstddef>
#include <cstdint>

// Decodes the block at `source` (at most `sourceSize` bytes) into `dest`
// (room for `destCapacity` bytes). True when the block reached its end code
// without reading past the source, reaching before the first output byte or
// writing past the capacity; `*written` is then the decoded size, and the
// bytes after it, up to the capacity, may have been overwritten. On false
// the destination holds garbage up to its capacity and nothing outside the
// two buffers was touched.
bool DecompressBlock(uint8_t* dest, size_t destCapacity, const uint8_t* source,
                     size_t sourceSize, size_t* written);
