#include "pack/patch_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "package/apply_in_memory.h"

namespace {

using namespace patch_test;

// Builds the patch, checks that it makes `now` again, and returns its size.
size_t RoundTrip(const Bytes& old, const Bytes& now) {
  const Bytes patch = BuildPatch(old.data(), old.size(), now.data(), now.size());
  EXPECT_EQ(ApplyInMemory(old, patch, now.size()), now) << "the patch makes other bytes";
  return patch.size();
}

Bytes Random(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(size);
  for (uint8_t& c : b) c = uint8_t(rng());
  return b;
}

// Lines of words from a small vocabulary, as scripts and manuals are.
Bytes Text(size_t lines, uint32_t seed) {
  static const char* words[] = {"the ", "player ", "opens ", "a ", "door ", "and ", "sees ",
                                "nothing ", "but ", "rain ", "again ", "today "};
  std::mt19937 rng(seed);
  Bytes out;
  for (size_t l = 0; l < lines; ++l) {
    for (unsigned n = 3 + rng() % 8; n--;) {
      const char* w = words[rng() % 12];
      out.insert(out.end(), w, w + std::strlen(w));
    }
    out.push_back('\n');
  }
  return out;
}

// Program-like code: functions of opcode bytes and calls whose 32-bit
// relative targets follow the functions' places, then a table of their
// addresses. `grow` lengthens every 97th function, which moves all that
// follow and changes every call and pointer that crosses it.
Bytes Program(size_t functions, uint32_t seed, unsigned grow) {
  std::mt19937 rng(seed);
  struct Function {
    Bytes body;
    std::vector<std::pair<size_t, size_t>> calls;  // offset in the body, callee
  };
  std::vector<Function> fs(functions);
  for (size_t f = 0; f < functions; ++f) {
    for (unsigned n = 20 + rng() % 60; n--;) {
      if (rng() % 6 == 0) {
        fs[f].body.push_back(0xE8);
        fs[f].calls.push_back({fs[f].body.size(), rng() % functions});
        fs[f].body.resize(fs[f].body.size() + 4);
      } else {
        for (unsigned k = 1 + rng() % 4; k--;) fs[f].body.push_back(uint8_t(rng() % 64));
      }
    }
    if (grow != 0 && f % 97 == 3) fs[f].body.insert(fs[f].body.begin() + 5, grow, 0x90);
  }
  std::vector<uint32_t> at;
  Bytes out;
  for (const Function& f : fs) {
    at.push_back(uint32_t(out.size()));
    out.insert(out.end(), f.body.begin(), f.body.end());
  }
  for (size_t f = 0; f < functions; ++f) {
    for (auto [offset, callee] : fs[f].calls) {
      const uint32_t rel = at[callee] - (at[f] + uint32_t(offset) + 4);
      for (int i = 0; i < 4; ++i) out[at[f] + offset + size_t(i)] = uint8_t(rel >> (8 * i));
    }
  }
  for (uint32_t a : at)
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t((0x401000 + a) >> (8 * i)));
  return out;
}

TEST(BuildPatch, EdgeSizes) {
  const Bytes some = Text(200, 1);
  EXPECT_LE(RoundTrip({}, {}), 6u);
  EXPECT_LE(RoundTrip(some, {}), 6u);
  RoundTrip({}, some);
  RoundTrip({'a'}, {'b'});
  // Identical files: one copy, a few bytes whatever their size.
  EXPECT_LE(RoundTrip(some, some), 12u);
  const Bytes big = Random(300000, 2);
  EXPECT_LE(RoundTrip(big, big), 12u);
}

TEST(BuildPatch, UnrelatedFilesCostAboutTheNewFile) {
  // Random bytes go raw, a few bytes over their size; long enough that a
  // cheapest path summing bits in too little precision would stray.
  const Bytes old = Random(3000000, 3), now = Random(3000000, 4);
  EXPECT_LE(RoundTrip(old, now), now.size() + 64);
  // Text with nothing old to copy from still compresses.
  const Bytes text = Text(3000, 5);
  EXPECT_LT(RoundTrip(old, text), text.size() / 3);
}

TEST(BuildPatch, EditsCostAboutWhatChanged) {
  const Bytes old = Random(200000, 6);
  Bytes now = old;
  // Single bytes changed, a run replaced, a run inserted, a run deleted.
  for (size_t at : {100u, 5000u, 5001u, 90000u}) now[at] ^= 0x5A;
  const Bytes replaced = Random(300, 7), inserted = Random(500, 8);
  std::copy(replaced.begin(), replaced.end(), now.begin() + 20000);
  now.insert(now.begin() + 60000, inserted.begin(), inserted.end());
  now.erase(now.begin() + 150000, now.begin() + 151000);
  const size_t size = RoundTrip(old, now);
  EXPECT_LT(size, replaced.size() + inserted.size() + 150);
}

TEST(BuildPatch, MovedBlocks) {
  const Bytes old = Random(160000, 9);
  // The old file's 16 blocks in another order, one of them twice.
  Bytes now;
  for (int block : {3, 0, 1, 15, 2, 7, 7, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14})
    now.insert(now.end(), old.begin() + block * 10000, old.begin() + (block + 1) * 10000);
  EXPECT_LT(RoundTrip(old, now), 200u);
}

TEST(BuildPatch, ShiftedPointersCostLessThanTheChangedBytes) {
  const Bytes old = Program(3000, 10, 0), now = Program(3000, 10, 8);
  size_t changed = 0;
  for (size_t i = 0; i < std::min(old.size(), now.size()); ++i) changed += old[i] != now[i];
  EXPECT_GT(changed, now.size() / 2);  // all moved
  EXPECT_LT(RoundTrip(old, now), now.size() / 8);
}

TEST(BuildPatch, TextWithLinesChanged) {
  const Bytes old = Text(20000, 11);
  Bytes now = old;
  std::mt19937 rng(12);
  // Forty lines get other words; some copy phrases found elsewhere.
  for (int i = 0; i < 40; ++i) {
    const size_t at = rng() % (now.size() - 200);
    const Bytes line = Text(1, 100 + uint32_t(i));
    now.insert(now.begin() + at, line.begin(), line.end());
  }
  EXPECT_LT(RoundTrip(old, now), 40 * 40u);
}

}  // namespace
