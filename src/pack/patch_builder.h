// Builder of patches (core/patch_format.h), for updpack.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// The patch that makes the `nowSize` bytes at `now` from the `oldSize`
// bytes at `old`. The same inputs always give the same bytes.
std::vector<uint8_t> BuildPatch(const uint8_t* old, size_t oldSize, const uint8_t* now,
                                size_t nowSize);
