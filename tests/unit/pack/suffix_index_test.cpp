#include "pack/suffix_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Texts that reach every path of the sort: runs, repeats of repeats (which
// need the shorter string sorted again), one letter, all letters.
std::vector<Bytes> Texts() {
  std::vector<Bytes> texts = {{}, {7}, {1, 1, 1, 1, 1}, {3, 2, 1}, {1, 2, 3}};
  std::mt19937 rng(1);
  for (int t = 0; t < 400; ++t) {
    const unsigned alphabet = t % 4 == 0 ? 256 : 1 + t % 3;
    Bytes text(1 + rng() % (t < 390 ? 300 : 30000));
    for (uint8_t& c : text) c = uint8_t(rng() % alphabet);
    if (t % 5 == 0) {  // a block repeated, twice nested
      const Bytes block(text.begin(), text.begin() + std::min<size_t>(text.size(), 17));
      for (int k = 0; k < 6; ++k) text.insert(text.end(), block.begin(), block.end());
      text.insert(text.end(), text.begin(), text.end());
    }
    texts.push_back(text);
  }
  return texts;
}

TEST(SuffixIndex, SortsEverySuffix) {
  for (const Bytes& text : Texts()) {
    std::vector<int32_t> expected(text.size());
    std::iota(expected.begin(), expected.end(), 0);
    std::sort(expected.begin(), expected.end(), [&](int32_t a, int32_t b) {
      return std::lexicographical_compare(text.begin() + a, text.end(), text.begin() + b,
                                          text.end());
    });
    ASSERT_EQ(BuildSuffixArray(text.data(), int32_t(text.size())), expected);
  }
}

TEST(SuffixIndex, FindsTheLongestMatch) {
  std::mt19937 rng(2);
  for (const Bytes& text : Texts()) {
    const SuffixIndex index(text.data(), text.size());
    for (int q = 0; q < 20; ++q) {
      // A piece of the text with its end changed, or random bytes.
      Bytes pattern;
      if (!text.empty() && q % 4 != 3) {
        const size_t at = rng() % text.size();
        pattern.assign(text.begin() + at, text.begin() + std::min(text.size(), at + 1 + rng() % 40));
        if (q % 2) pattern.push_back(uint8_t(rng()));
      } else {
        for (int i = 0; i < 5; ++i) pattern.push_back(uint8_t(rng() % 4));
      }
      size_t best = 0;
      for (size_t at = 0; at < text.size(); ++at) {
        size_t n = 0;
        while (n < pattern.size() && at + n < text.size() && text[at + n] == pattern[n]) ++n;
        best = std::max(best, n);
      }
      const SuffixIndex::Match m = index.Longest(pattern.data(), pattern.size());
      ASSERT_EQ(m.length, best);
      ASSERT_TRUE(best == 0 || std::equal(pattern.begin(), pattern.begin() + best,
                                          text.begin() + m.pos));
    }
  }
}

}  // namespace
