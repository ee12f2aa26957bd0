// The old file's suffixes in sorted order, to find where in it the longest
// copy of some new bytes starts.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class SuffixIndex {
 public:
  // Indexes the first `size` bytes of `text` (at most 2^31 - 1 are
  // indexed), which must outlive the index.
  SuffixIndex(const uint8_t* text, size_t size);

  struct Match {
    uint32_t pos = 0;
    uint32_t length = 0;
  };
  // The longest prefix of `pattern` (`size` bytes) found in the text, and
  // where; length 0 when not even its first byte is there.
  Match Longest(const uint8_t* pattern, size_t size) const;

 private:
  uint32_t CommonLength(uint32_t suffix, const uint8_t* pattern, size_t size,
                        uint32_t known) const;

  const uint8_t* text_;
  uint32_t size_;
  std::vector<int32_t> suffixes_;
  // Where the suffixes of each first two bytes start (the last byte alone
  // counts as followed by 0), and the end.
  std::vector<uint32_t> buckets_;
};

// The suffix array of `text` by induced sorting, in linear time.
std::vector<int32_t> BuildSuffixArray(const uint8_t* text, int32_t size);
