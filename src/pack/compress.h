// Writer of the package's compressed blocks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

enum class CompressLevel {
  Greedy,  // the longest match at each position, as the packages have it
  Best,    // a near-cheapest parse in bits; smaller, slower
};

// One whole block for `size` bytes at `data`: tokens, end code and closing
// bit. The same input and level always give the same bytes.
std::vector<uint8_t> CompressBlock(const uint8_t* data, size_t size,
                                   CompressLevel level);
