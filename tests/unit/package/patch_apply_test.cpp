#include "package/patch_apply.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include "core/patch_format.h"
#include "pack/patch_encoder.h"
#include "package/apply_in_memory.h"

namespace {

using namespace patch_test;

using namespace patch;

Bytes Random(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(size);
  for (uint8_t& c : b) c = uint8_t(rng());
  return b;
}

// A patch by hand: the ops say what to do, the new file what comes out.
Bytes Encode(const Bytes& old, const Bytes& now, const std::vector<PatchOp>& ops) {
  return EncodePatch(old.data(), old.size(), now.data(), now.size(), ops);
}

// Old and new files with a part of every kind of operation: an old copy
// with differences (some next to each other, spilling), literals, raw
// bytes, a new copy repeating a short pattern and one reaching far back.
struct Sample {
  Bytes old, now;
  std::vector<PatchOp> ops;
};

Sample Mixed() {
  Sample s;
  s.old = Random(300000, 1);
  s.now.assign(s.old.begin() + 1000, s.old.begin() + 101000);
  for (size_t at : {5u, 6u, 7u, 65535u, 65536u, 99999u}) s.now[at] = uint8_t(s.now[at] + 0x40);
  s.ops.push_back({kOldKind, 100000, 1000});
  const Bytes text = {'a', 'b', 'c', 'a', 'b', 'c', 'x'};
  s.now.insert(s.now.end(), text.begin(), text.end());
  s.ops.push_back({kLiteralKind, 7, 0});
  const Bytes random = Random(3000, 2);
  s.now.insert(s.now.end(), random.begin(), random.end());
  s.ops.push_back({kRawKind, 3000, 0});
  for (int i = 0; i < 20; ++i) s.now.push_back(s.now[s.now.size() - 3]);  // "xab..." repeated
  s.ops.push_back({kNewKind, 20, 3});
  s.now.insert(s.now.end(), s.now.begin() + 10, s.now.begin() + 90010);  // across many pieces
  s.ops.push_back({kNewKind, 90000, uint32_t(s.now.size() - 90000 - 10)});
  s.now.insert(s.now.end(), s.old.begin() + 200000, s.old.begin() + 200100);
  s.ops.push_back({kOldKind, 100, 200000});
  return s;
}

TEST(ApplyPatch, EveryKindOfOperation) {
  const Sample s = Mixed();
  const Bytes patch = Encode(s.old, s.now, s.ops);
  EXPECT_EQ(patch[0], 17);  // the window: the far copy reaches 103,017 back
  EXPECT_EQ(ApplyInMemory(s.old, patch, s.now.size()), s.now);
}

TEST(ApplyPatch, EmptyFiles) {
  EXPECT_EQ(ApplyInMemory({}, Encode({}, {}, {}), 0), Bytes{});
  const Bytes old = Random(100, 3);
  EXPECT_EQ(ApplyInMemory(old, Encode(old, {}, {}), 0), Bytes{});
  const Bytes now = Random(10, 4);
  EXPECT_EQ(ApplyInMemory({}, Encode({}, now, {{kLiteralKind, 10, 0}}), 10), now);
}

// Many nonzero differences in a row drive the fast models to their extreme
// probabilities, where the coder must renormalize more than once a bit.
TEST(ApplyPatch, DenseDifferences) {
  const Bytes old = Random(200000, 5);
  Bytes now = old;
  std::mt19937 rng(6);
  for (size_t i = 0; i < now.size(); ++i)
    if (i % 4 == 0 || rng() % 8 == 0) now[i] = uint8_t(now[i] + (i % 4 == 0 ? 1 : rng()));
  EXPECT_EQ(ApplyInMemory(old, Encode(old, now, {{kOldKind, 200000, 0}}), now.size()), now);
}

// Short copies from all over the old file, as a program's patch has them:
// the applier's cache of old pages must give each its own bytes.
TEST(ApplyPatch, ScatteredOldCopies) {
  const Bytes old = Random(3000000, 7);
  Bytes now;
  std::vector<PatchOp> ops;
  std::mt19937 rng(8);
  for (int i = 0; i < 3000; ++i) {
    const uint32_t length = 1 + rng() % 3000, from = rng() % uint32_t(old.size() - length);
    now.insert(now.end(), old.begin() + from, old.begin() + from + length);
    if (rng() % 2) now.back() ^= 1;
    ops.push_back({kOldKind, length, from});
  }
  EXPECT_EQ(ApplyInMemory(old, Encode(old, now, ops), now.size()), now);
}

TEST(ApplyPatch, RefusesCopiesOutsideEitherFile) {
  const Bytes old = Random(1000, 9);
  const Bytes now(old.begin() + 500, old.end());
  const Bytes patch = Encode(old, now, {{kOldKind, 500, 500}});
  ASSERT_TRUE(ApplyInMemory(old, patch, 500));
  // The same copy against a shorter old file runs past its end.
  EXPECT_FALSE(ApplyInMemory(Bytes(old.begin(), old.begin() + 999), patch, 500));
  // ... and past the new file's end when that is shorter.
  EXPECT_FALSE(ApplyInMemory(old, patch, 499));
  // New copies from before the new file's start, or at distance 0.
  const Bytes abc = {'a', 'b', 'c', 'a', 'b', 'c'};
  EXPECT_FALSE(ApplyInMemory({}, Encode({}, abc, {{kLiteralKind, 3, 0}, {kNewKind, 3, 4}}), 6));
  EXPECT_FALSE(ApplyInMemory({}, Encode({}, abc, {{kLiteralKind, 3, 0}, {kNewKind, 3, 0}}), 6));
  EXPECT_EQ(ApplyInMemory({}, Encode({}, abc, {{kLiteralKind, 3, 0}, {kNewKind, 3, 3}}), 6), abc);
}

TEST(ApplyPatch, RefusesAnotherSizeAndDamagedStreams) {
  const Sample s = Mixed();
  const Bytes patch = Encode(s.old, s.now, s.ops);
  // A longer result than the patch makes runs out of stream.
  EXPECT_FALSE(ApplyInMemory(s.old, patch, s.now.size() + 1));
  // Every shorter stream, and a longer one.
  for (size_t size = 0; size < patch.size(); size += size < 64 ? 1 : 997)
    EXPECT_FALSE(ApplyInMemory(s.old, Bytes(patch.begin(), patch.begin() + size), s.now.size())) << size;
  Bytes longer = patch;
  longer.push_back(0);
  EXPECT_FALSE(ApplyInMemory(s.old, longer, s.now.size()));
  // A window outside the format's.
  for (uint8_t bits : {uint8_t(kMinWindowBits - 1), uint8_t(kMaxWindowBits + 1)}) {
    Bytes window = patch;
    window[0] = bits;
    EXPECT_FALSE(ApplyInMemory(s.old, window, s.now.size()));
  }
  // Raw bytes the stream does not use all of, or more than there are.
  const Bytes random = Random(2000, 10);
  Bytes raw = Encode({}, random, {{kRawKind, 2000, 0}});
  ASSERT_EQ(raw[1], 0x80 | (2000 & 0x7F));
  ASSERT_EQ(raw[2], 2000 >> 7);
  Bytes extra = raw;
  extra[1] += 1;
  extra.insert(extra.begin() + 3 + 2000, 0);
  EXPECT_FALSE(ApplyInMemory({}, extra, 2000));
  Bytes missing = raw;
  missing[2] = 0x7F;
  EXPECT_FALSE(ApplyInMemory({}, missing, 2000));
}

TEST(ApplyPatch, StopsAtAFailedReadOrWrite) {
  const Sample s = Mixed();
  const Bytes patch = Encode(s.old, s.now, s.ops);
  OldFile reads{&s.old};
  NewFile writes;
  ASSERT_TRUE(ApplyInMemory(s.old, patch, s.now.size(), &reads, &writes));
  ASSERT_GE(reads.reads, 2u);
  for (size_t failAt = 0; failAt < reads.reads; ++failAt) {
    OldFile reader{&s.old};
    reader.failAt = failAt;
    EXPECT_FALSE(ApplyInMemory(s.old, patch, s.now.size(), &reader));
  }
  for (size_t failAt = 0; failAt < writes.writes; ++failAt) {
    NewFile sink;
    sink.failAt = failAt;
    EXPECT_FALSE(ApplyInMemory(s.old, patch, s.now.size(), nullptr, &sink));
    EXPECT_EQ(sink.writes, failAt + 1);  // nothing after the failed write
  }
}

// Damaged bytes anywhere: refused, or (rarely) another result of the same
// size, which the caller's CRC-32 then refuses; never a step outside.
TEST(ApplyPatch, SurvivesFlippedBytes) {
  const Sample s = Mixed();
  const Bytes patch = Encode(s.old, s.now, s.ops);
  std::mt19937 rng(11);
  for (int i = 0; i < 300; ++i) {
    Bytes damaged = patch;
    damaged[rng() % damaged.size()] ^= uint8_t(1 + rng() % 255);
    ApplyInMemory(s.old, damaged, s.now.size());
  }
}

}  // namespace
