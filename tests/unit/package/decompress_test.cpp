#include "package/decompress.h"

#include <gtest/gtest.h>

#include "core/block_format.h"
#include "pack/compress.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Builds a block from a token script written by hand: runs of 0 and 1 are
// bits, [xx] is a byte field in hex. Control words are placed the way the
// decoder loads them (a new word where its first bit is needed), so the
// tests state tokens instead of hand-placed words.
Bytes Assemble(const std::string& script) {
  Bytes out(4, 0);
  size_t wordPos = 0;
  uint32_t word = 0;
  unsigned used = 0;
  auto store = [&] {
    for (int i = 0; i < 4; ++i) out[wordPos + i] = uint8_t(word >> (8 * i));
  };
  for (size_t i = 0; i < script.size(); ++i) {
    char c = script[i];
    if (c == '0' || c == '1') {
      if (used == 32) {
        store();
        wordPos = out.size();
        out.resize(out.size() + 4);
        word = 0;
        used = 0;
      }
      word |= uint32_t(c - '0') << (31 - used++);
    } else if (c == '[') {
      out.push_back(uint8_t(std::stoul(script.substr(i + 1, 2), nullptr, 16)));
      i += 3;
    }
  }
  store();
  return out;
}

// Decodes into a buffer of exactly `capacity` bytes and a source of exactly
// its own size, so an address checker sees any step outside either.
std::optional<Bytes> Decode(const Bytes& block, size_t capacity) {
  Bytes source(block);
  Bytes dest(capacity);
  size_t written = 0;
  if (!DecompressBlock(dest.data(), dest.size(), source.data(), source.size(),
                       &written))
    return std::nullopt;
  dest.resize(written);
  return dest;
}

const char kEnd[] = "011[FF]111";

// Every test runs with the loop built for every processor and with the best
// one this processor has, which differ in how they count bits and move bytes.
class BlockDecoder : public testing::TestWithParam<DecoderLoop> {
 protected:
  void SetUp() override { PrepareDecoder(GetParam()); }
  void TearDown() override { PrepareDecoder(DecoderLoop::Baseline); }
};

INSTANTIATE_TEST_SUITE_P(Loops, BlockDecoder,
                         testing::Values(DecoderLoop::Baseline, DecoderLoop::Best),
                         [](const testing::TestParamInfo<DecoderLoop>& info) {
                           return info.param == DecoderLoop::Best ? "Best" : "Baseline";
                         });

TEST_P(BlockDecoder, KnownBlocks) {
  EXPECT_EQ(Decode({0x00, 0x00, 0x00, 0x7E, 0xFF}, 16), Bytes{});
  EXPECT_EQ(Decode({0x00, 0xC0, 0xEF, 0x90, 0x41, 0x00, 0xFF}, 11),
            Bytes(11, 0x41));

  // 33 literals: the second control word stands before the 33rd byte.
  Bytes block{0xFF, 0xFF, 0xFF, 0xFF};
  Bytes expected;
  for (int i = 0; i < 33; ++i) expected.push_back(uint8_t(i + 1));
  block.insert(block.end(), expected.begin(), expected.begin() + 32);
  block.insert(block.end(), {0x00, 0x00, 0x00, 0xBF, 33, 0xFF});
  EXPECT_EQ(Decode(block, 33), expected);

  // 30 literals, then a short match whose selector bit opens the next word:
  // the word stands before the match's byte.
  block = {0xFD, 0xFF, 0xFF, 0xFF};
  expected.clear();
  for (int i = 0; i < 30; ++i) expected.push_back(uint8_t(0x80 + i));
  block.insert(block.end(), expected.begin(), expected.end());
  block.insert(block.end(), {0x00, 0x00, 0x00, 0x3F, 0x05, 0xFF});
  expected.push_back(expected[24]);
  expected.push_back(expected[25]);
  EXPECT_EQ(Decode(block, 32), expected);
}

TEST_P(BlockDecoder, OverlappingCopiesRepeatThePattern) {
  // Short match of distance 1 repeats the last byte twice.
  EXPECT_EQ(Decode(Assemble("1[61] 010[00]" + std::string(kEnd)), 3),
            (Bytes{0x61, 0x61, 0x61}));
  // Long matches: distance 2 and 3, length 7, then distance 1, length 282.
  EXPECT_EQ(Decode(Assemble("1[61] 1[62] 00 1[00]1 000100" + std::string(kEnd)), 9),
            (Bytes{0x61, 0x62, 0x61, 0x62, 0x61, 0x62, 0x61, 0x62, 0x61}));
  EXPECT_EQ(Decode(Assemble("1[61]1[62]1[63] 00 1[01]0 000100" + std::string(kEnd)), 10),
            (Bytes{0x61, 0x62, 0x63, 0x61, 0x62, 0x63, 0x61, 0x62, 0x63, 0x61}));
  Bytes run = *Decode(Assemble("1[7A] 00 1[00]0 00000[FF]" + std::string(kEnd)), 283);
  EXPECT_EQ(run, Bytes(283, 0x7A));
  // Each distance from 1 to 16, long enough for the wide copies.
  for (unsigned v = 0; v < 16; ++v) {
    std::string script;
    Bytes expected;
    for (unsigned i = 0; i <= v; ++i) {
      char lit[8];
      snprintf(lit, sizeof lit, "1[%02X]", i + 1);
      script += lit;
      expected.push_back(uint8_t(i + 1));
    }
    char match[32];
    snprintf(match, sizeof match, "00 1[%02X]%u 00001 0101", v >> 1, v & 1);
    script += match;  // length 16
    for (int i = 0; i < 16; ++i) expected.push_back(expected[expected.size() - v - 1]);
    EXPECT_EQ(Decode(Assemble(script + kEnd), expected.size()), expected) << v;
  }
}

TEST_P(BlockDecoder, LongestDistancesOfBothForms) {
  // 8192 bytes, then a match from the first of them (distance 8192, the
  // largest long match), then a short match from distance 2303.
  std::string script;
  Bytes expected;
  for (int i = 0; i < 8192; ++i) {
    uint8_t b = uint8_t(i * 7 + i / 256);
    char lit[8];
    snprintf(lit, sizeof lit, "1[%02X]", b);
    script += lit;
    expected.push_back(b);
  }
  script += "00 0000[FF]1111 00000[FF]";
  for (int i = 0; i < 282; ++i) expected.push_back(expected[expected.size() - 8192]);
  script += "011[FF]110";
  for (int i = 0; i < 2; ++i) expected.push_back(expected[expected.size() - 2303]);
  EXPECT_EQ(Decode(Assemble(script + kEnd), expected.size()), expected);
}

// Every form of match at every place in its control word, so that its bits
// run past the word before its byte, between its byte and its length byte,
// and after both; far from the buffer ends (the fast loop) and at them (the
// checked tail, where every cut into them is refused).
TEST_P(BlockDecoder, MatchesAtEveryPlaceInTheWord) {
  struct Match {
    const char* script;
    size_t distance, length;
  };
  const Match kMatches[] = {
      {"00 1[95]1 00000[10]", 300, 43},   // long, distance byte and low bit, length byte
      {"00 01[10]1 00001 1111", 546, 26},  // 512 and up, longest length without a byte
      {"00 0001[00]000 0001 10", 2049, 9},  // 2048 and up, three low bits
      {"00 0000[FF]1111 1", 8192, 3},     // the farthest, four low bits
      {"011[05]101", 302, 2},              // short, byte and three bits
      {"010[07]", 8, 2},                   // short, one byte
  };
  for (bool farFromTheEnds : {true, false}) {
    for (unsigned shift = 0; shift < 32; ++shift) {
      std::string script;
      Bytes expected;
      auto literal = [&](uint8_t b) {
        char text[8];
        snprintf(text, sizeof text, "1[%02X]", b);
        script += text;
        expected.push_back(b);
      };
      for (unsigned i = 0; i < 8192 + shift; ++i) literal(uint8_t(i * 13 + i / 251));
      for (const Match& m : kMatches) {
        script += m.script;
        for (size_t i = 0; i < m.length; ++i) expected.push_back(expected[expected.size() - m.distance]);
        literal(0x5A);
      }
      if (farFromTheEnds) {
        for (unsigned i = 0; i < 400; ++i) literal(uint8_t(i));
      }
      Bytes block = Assemble(script + kEnd);
      EXPECT_EQ(Decode(block, expected.size()), expected)
          << shift << (farFromTheEnds ? " far from the ends" : " at the ends");
      // Cut anywhere in the matches, the block is refused.
      for (size_t cut = 1; !farFromTheEnds && cut < 48; ++cut) {
        EXPECT_FALSE(Decode(Bytes(block.begin(), block.end() - cut), expected.size()))
            << shift << " cut " << cut;
      }
    }
  }
}

TEST_P(BlockDecoder, RejectsDamagedBlocks) {
  // A match that reaches before the first byte, in each form.
  EXPECT_FALSE(Decode(Assemble(std::string("010[00]") + kEnd), 16));
  EXPECT_FALSE(Decode(Assemble(std::string("1[41] 010[01]") + kEnd), 16));
  EXPECT_FALSE(Decode(Assemble(std::string("1[41] 011[00]000") + kEnd), 16));
  EXPECT_FALSE(Decode(Assemble(std::string("1[41]1[42] 00 1[01]0 1") + kEnd), 16));
  EXPECT_TRUE(Decode(Assemble(std::string("1[41]1[42] 00 1[00]1 1") + kEnd), 16));
  // The same far from both buffer ends, where no bound but the distance is
  // compared: 100 literals, then matches from 101 and 100 bytes back.
  std::string literals;
  for (int i = 0; i < 100; ++i) literals += "1[5A]";
  std::string tail;
  for (int i = 0; i < 100; ++i) tail += "1[5A]";
  EXPECT_FALSE(Decode(Assemble(literals + "00 1[32]0 1" + tail + kEnd), 4096));
  EXPECT_TRUE(Decode(Assemble(literals + "00 1[31]1 1" + tail + kEnd), 4096));
  EXPECT_FALSE(Decode(Assemble(std::string("010[05]") + tail + kEnd), 4096));
  // No end code: the zero bits after the literals read as a match whose
  // byte lies past the source.
  EXPECT_FALSE(Decode(Assemble("1[41]1[42]"), 16));
  // Too short for even the first control word.
  EXPECT_FALSE(Decode({0x00, 0x00, 0x7E}, 16));
}

TEST_P(BlockDecoder, RejectsEveryTruncation) {
  Bytes block = Assemble("1[41]1[42]1[43] 00 1[01]0 0001 11 010[00] 1[44] 010[03]" +
                         std::string(kEnd));
  ASSERT_TRUE(Decode(block, 64));
  for (size_t size = 0; size < block.size(); ++size) {
    Bytes cut(block.begin(), block.begin() + size);
    EXPECT_FALSE(Decode(cut, 64)) << size;
  }
}

TEST_P(BlockDecoder, CapacityBoundsTheOutputExactly) {
  Bytes block = Assemble("1[41] 00 1[00]0 00000[28]" + std::string(kEnd));  // 68 bytes
  EXPECT_EQ(Decode(block, 68), Bytes(68, 0x41));
  EXPECT_FALSE(Decode(block, 67));
  EXPECT_FALSE(Decode(block, 0));

  // Bytes past the decoded size stay as they were.
  Bytes dest(80, 0xEE);
  size_t written = 0;
  ASSERT_TRUE(DecompressBlock(dest.data(), 68, block.data(), block.size(), &written));
  EXPECT_EQ(written, 68u);
  EXPECT_EQ(Bytes(dest.begin() + 68, dest.end()), Bytes(12, 0xEE));
}

// Text that repeats at distances up to the longest match, changed here and
// there, so that matches reach back across every place a piece may end.
Bytes Repetitive(size_t size) {
  Bytes bytes(size);
  uint32_t state = 12345;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    const size_t back = 1 + (state >> 8) % kMaxDistance;
    bytes[i] = (i >= back && (state >> 24) < 250) ? bytes[i - back] : uint8_t(state >> 16);
  }
  return bytes;
}

TEST(DecodeBlockPiece, PiecesOfTheLeastRoomGiveTheWholeBlock) {
  const Bytes original = Repetitive(700000);
  for (CompressLevel level : {CompressLevel::Greedy, CompressLevel::Best}) {
    const Bytes block = CompressBlock(original.data(), original.size(), level);
    // One buffer: the window of earlier bytes, then the piece, as the
    // writer keeps them; each piece is exactly that large, so an address
    // checker sees any step past it.
    Bytes decoded;
    BlockReader reader;
    ASSERT_TRUE(BeginBlock(&reader, block.data(), block.size()));
    PieceEnd end = PieceEnd::More;
    int pieces = 0;
    while (end == PieceEnd::More) {
      const size_t window = std::min(decoded.size(), kMaxDistance);
      Bytes buffer(window + kMinPieceRoom);
      std::copy(decoded.end() - window, decoded.end(), buffer.begin());
      size_t written = 0;
      end = DecodeBlockPiece(&reader, buffer.data() + window, kMinPieceRoom, window,
                             original.size() - decoded.size(), &written);
      ASSERT_NE(end, PieceEnd::Damaged) << "piece " << pieces;
      ASSERT_LE(written, kMinPieceRoom);
      decoded.insert(decoded.end(), buffer.begin() + window, buffer.begin() + window + written);
      ++pieces;
    }
    EXPECT_EQ(decoded, original);
    EXPECT_GE(pieces, int(original.size() / kMinPieceRoom));
  }
}

TEST(DecodeBlockPiece, NeverWritesPastWhatTheBlockStillOwes) {
  const Bytes original = Repetitive(200000);
  const Bytes block = CompressBlock(original.data(), original.size(), CompressLevel::Greedy);
  for (size_t owed : {original.size() - 1, original.size() + 1}) {
    BlockReader reader;
    ASSERT_TRUE(BeginBlock(&reader, block.data(), block.size()));
    Bytes buffer(owed);
    size_t written = 0;
    const PieceEnd end =
        DecodeBlockPiece(&reader, buffer.data(), buffer.size(), 0, owed, &written);
    // Short of room it is damage; with room to spare the block ends short,
    // which its caller holds against the size it expected.
    if (owed < original.size()) {
      EXPECT_EQ(end, PieceEnd::Damaged);
    } else {
      ASSERT_EQ(end, PieceEnd::End);
      EXPECT_EQ(written, original.size());
    }
  }
}

}  // namespace
