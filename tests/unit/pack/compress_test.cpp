#include "pack/compress.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "package/decompress.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Compress(const Bytes& data, CompressLevel level) {
  return CompressBlock(data.data(), data.size(), level);
}

Bytes Distinct(size_t count) {
  Bytes b;
  for (size_t i = 0; i < count; ++i) b.push_back(uint8_t(0x80 + i));
  return b;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(CompressBlock, GreedyWritesTheKnownBlocks) {
  EXPECT_EQ(Compress({}, CompressLevel::Greedy), (Bytes{0x00, 0x00, 0x00, 0x7E, 0xFF}));
  EXPECT_EQ(Compress(Bytes(11, 0x41), CompressLevel::Greedy),
            (Bytes{0x00, 0xC0, 0xEF, 0x90, 0x41, 0x00, 0xFF}));

  Bytes literals = Distinct(33);
  Bytes expected = Concat(Concat({0xFF, 0xFF, 0xFF, 0xFF}, Bytes(literals.begin(), literals.end() - 1)),
                          {0x00, 0x00, 0x00, 0xBF, literals.back(), 0xFF});
  EXPECT_EQ(Compress(literals, CompressLevel::Greedy), expected);

  // A pair seen 6 bytes back becomes a short match; its selector bit opens
  // the next control word, which therefore stands before the match's byte.
  literals = Distinct(30);
  expected = Concat(Concat({0xFD, 0xFF, 0xFF, 0xFF}, literals), {0x00, 0x00, 0x00, 0x3F, 0x05, 0xFF});
  EXPECT_EQ(Compress(Concat(literals, {literals[24], literals[25]}), CompressLevel::Greedy), expected);

  // 26 literals and the end code fill the first word exactly: the closing
  // bit opens one more.
  literals = Distinct(26);
  expected = Concat(Concat({0xDF, 0xFF, 0xFF, 0xFF}, literals), {0xFF, 0x00, 0x00, 0x00, 0x80});
  EXPECT_EQ(Compress(literals, CompressLevel::Greedy), expected);
}

TEST(CompressBlock, GreedyTakesTheLongestMatch) {
  // At the second "abcd" both "abc" 4 back and "abcd" 9 back match; the
  // longer one wins. Tokens: 5 literals, a match of 3 from 5 back, the
  // literal y, a match of 4 from 9 back, the end code and the closing bit.
  Bytes data = {'a', 'b', 'c', 'd', 'x', 'a', 'b', 'c', 'y', 'a', 'b', 'c', 'd'};
  uint32_t word = 0;
  unsigned used = 0;
  for (char c : std::string("11111" "00" "1" "0" "1" "1" "00" "1" "0" "01" "011" "111" "1"))
    word |= uint32_t(c - '0') << (31 - used++);
  Bytes expected = {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16), uint8_t(word >> 24),
                    'a', 'b', 'c', 'd', 'x', 0x02, 'y', 0x04, 0xFF};
  EXPECT_EQ(Compress(data, CompressLevel::Greedy), expected);
}

// Inputs of the kinds a game's update carries, and the corner patterns.
Bytes Text(size_t size, std::mt19937& rng) {
  static const char* words[] = {"the ", "castle ", "\x82\xa0\x82\xa2 ", "sword ", "\n",
                                "\x93\xfa\x96\x7b ", "of ", "SCENE_", "01 ", "wait "};
  Bytes out;
  while (out.size() < size) {
    const char* w = words[rng() % 10];
    out.insert(out.end(), w, w + strlen(w));
  }
  out.resize(size);
  return out;
}

Bytes Random(size_t size, std::mt19937& rng) {
  Bytes out(size);
  for (auto& b : out) b = uint8_t(rng());
  return out;
}

// A random unit of `period` bytes repeated; a few bytes changed so matches
// end at odd places.
Bytes Periodic(size_t size, size_t period, std::mt19937& rng) {
  Bytes unit = Random(period, rng);
  Bytes out(size);
  for (size_t i = 0; i < size; ++i) out[i] = unit[i % period];
  for (size_t i = 0; i < size / 97; ++i) out[rng() % size] ^= uint8_t(1 + rng() % 255);
  return out;
}

void ExpectRoundTrip(const Bytes& data, const std::string& what) {
  for (CompressLevel level : {CompressLevel::Greedy, CompressLevel::Best}) {
    Bytes block = Compress(data, level);
    Bytes out(data.size());
    size_t written = 0;
    ASSERT_TRUE(DecompressBlock(out.data(), out.size(), block.data(), block.size(), &written))
        << what << " level " << int(level);
    EXPECT_EQ(written, data.size()) << what;
    EXPECT_TRUE(out == data) << what << " level " << int(level);
  }
}

TEST(CompressBlock, RoundTripsVariedData) {
  std::mt19937 rng(12345);
  for (size_t size : {0, 1, 2, 3, 4, 5, 31, 32, 33, 100, 1000, 4096, 70000}) {
    ExpectRoundTrip(Text(size, rng), "text " + std::to_string(size));
    ExpectRoundTrip(Random(size, rng), "random " + std::to_string(size));
    ExpectRoundTrip(Bytes(size, 0x5A), "run " + std::to_string(size));
  }
  for (size_t period : {1, 2, 3, 4, 5, 7, 8, 9, 300, 2303, 2304, 8191, 8192, 8193})
    ExpectRoundTrip(Periodic(20000, period, rng), "period " + std::to_string(period));
}

TEST(CompressBlock, RoundTripsLargeInputs) {
  // Several MiB, with positions far beyond any table size and every kind
  // of content in turn.
  std::mt19937 rng(777);
  Bytes mixed = Concat(Concat(Text(128 << 10, rng), Random(512 << 10, rng)),
                       Concat(Periodic(128 << 10, 3, rng), Bytes(3 << 20, 0)));
  ExpectRoundTrip(mixed, "mixed");
}

TEST(CompressBlock, RoundTripsLongMatchesAcrossSegments) {
  // Phrases repeated in new orders give matches of a dozen to a few dozen
  // bytes, among whose inner positions others start; over several of the
  // best parse's segments, some such matches run across a segment's end.
  std::mt19937 rng(4242);
  std::vector<Bytes> phrases;
  for (int i = 0; i < 24; ++i) phrases.push_back(Random(4 + rng() % 20, rng));
  Bytes script;
  while (script.size() < (300 << 10)) {
    const Bytes& p = phrases[rng() % phrases.size()];
    script.insert(script.end(), p.begin(), p.end());
    if (rng() % 4 == 0) script.push_back(uint8_t(rng()));
  }
  ExpectRoundTrip(script, "phrases");
  EXPECT_LE(Compress(script, CompressLevel::Best).size(),
            Compress(script, CompressLevel::Greedy).size());
}

TEST(CompressBlock, BestIsNeverLargerThanGreedy) {
  std::mt19937 rng(99);
  for (const Bytes& data : {Text(50000, rng), Periodic(50000, 6, rng), Random(20000, rng)}) {
    EXPECT_LE(Compress(data, CompressLevel::Best).size(),
              Compress(data, CompressLevel::Greedy).size());
  }
}

}  // namespace
