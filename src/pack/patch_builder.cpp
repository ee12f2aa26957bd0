// Patch builder, in three steps:
// 1. A scan over the new file finds where it follows the old file at
//    another alignment (old offset less new offset): where the longest
//    exact copy in the old file is clearly longer than what the current
//    alignment matches over the same bytes. Moved code whose pointers
//    changed still matches most of its bytes at one alignment.
// 2. Between two such anchors, a cheapest path in bits decides which bytes
//    follow the first alignment (copied, with differences where they do
//    not match), which the second, and which neither (a gap).
// 3. Gaps are parsed into copies from anywhere in the old file, copies
//    from the new file's recent past, and literals; long random runs of
//    literals are kept raw.
#include "pack/patch_builder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>

#include "core/le.h"
#include "pack/patch_encoder.h"
#include "pack/suffix_index.h"

namespace {

using namespace patch;

// An exact copy this long may start a new alignment, when it matches this
// many bytes more than the current alignment does.
constexpr uint32_t kMinAnchor = 8;
constexpr uint32_t kSwitchMargin = 8;
// Searches compare at most this much, so that long equal runs stay cheap.
constexpr uint32_t kSearchCap = 1u << 16;
// The shortest copy a gap's parse considers, how far it looks down the
// chain of earlier new positions with the same first four bytes, and how
// far before a gap those positions are remembered (copies from further
// back are mostly in the old file too). New copies reach back at most
// kReach, which is what the applier then keeps of the new file.
constexpr uint32_t kMinGapCopy = 4;
constexpr unsigned kChainDepth = 48;
constexpr unsigned kMaxHashBits = 20;
constexpr uint32_t kLookBack = 1u << 18;
constexpr uint32_t kReach = 1u << 20;
// Literal runs at least this long whose bytes look random are stored raw:
// coding them costs a little more than their size, and decoding much more
// than a copy.
constexpr uint32_t kMinRawRun = 1024;

// Prices in bits, for the parse: a byte of a gap, a nonzero difference in
// a copy, a copy's kind, flags and length (without its distance).
constexpr double kLiteralBits = 7.5;
constexpr double kDiffBits = 11;
constexpr double kCopyBits = 14;

// About what a number costs before its model has learnt anything: a bit
// and some for its class, about as many for its other bits.
double NumberBits(uint64_t value) {
  return 2.0 * std::bit_width(value + 1) + 1;
}

double AlignBits(int64_t delta) {
  return delta == 0 ? 1 : 2 + NumberBits(uint64_t(std::llabs(delta)) - 1);
}

uint32_t Hash4(const uint8_t* p, unsigned bits) {
  return (LoadLe32(p) * 2654435761u) >> (32 - bits);
}

// Whether `size` bytes would cost about 8 bits each however coded: their
// byte frequencies leave (nearly) nothing to gain. The estimate from n
// bytes falls short by about 255 / (2 n ln 2) bits for random bytes, which
// is added back.
bool LooksRandom(const uint8_t* bytes, size_t size) {
  size_t counts[256] = {};
  for (size_t i = 0; i < size; ++i) ++counts[bytes[i]];
  double bits = 0;
  for (size_t c : counts)
    if (c != 0) bits -= double(c) * std::log2(double(c) / double(size));
  return bits / double(size) + 255 / (2 * double(size) * std::log(2.0)) > 7.9;
}

// From `at` on, the new bytes follow the old ones at old offset at + delta.
struct Anchor {
  uint32_t at;
  int64_t delta;
};

class Builder {
 public:
  Builder(const uint8_t* old, size_t oldSize, const uint8_t* now, size_t nowSize)
      : old_(old), oldSize_(oldSize), now_(now), nowSize_(uint32_t(nowSize)),
        chainSize_(uint32_t(std::min<uint64_t>(2 * kReach, std::bit_ceil(uint64_t(nowSize) + 1)))),
        hashBits_(std::min<unsigned>(kMaxHashBits, std::bit_width(chainSize_))),
        head_(size_t(1) << hashBits_), chain_(new uint32_t[chainSize_]) {
    if (oldSize != 0) index_ = std::make_unique<SuffixIndex>(old, oldSize);
  }

  std::vector<PatchOp> Build();

 private:
  bool Same(uint32_t at, int64_t delta) const {
    const int64_t o = int64_t(at) + delta;
    return o >= 0 && uint64_t(o) < oldSize_ && old_[o] == now_[at];
  }
  std::vector<Anchor> FindAnchors() const;
  void Label(const Anchor& anchor, const Anchor* next, uint32_t end);
  void ParseGap(uint32_t begin, uint32_t end);

  // The best copy at `at` for a gap ending at `end`: its op and what it
  // saves over literals (0 or less: none).
  struct Choice {
    PatchOp op;
    double gain;
  };
  Choice BestCopy(uint32_t at, uint32_t end);
  void InsertUpTo(uint32_t at);
  // Appends an op at the end of the ops.
  void Emit(const PatchOp& op);
  // Appends a copy of `length` bytes at `at` (after parsing the gap before
  // it, which may span several regions).
  void Copied(uint32_t at, uint32_t length, int64_t delta);

  const uint8_t* const old_;
  const size_t oldSize_;
  const uint8_t* const now_;
  const uint32_t nowSize_;
  std::unique_ptr<SuffixIndex> index_;

  std::vector<PatchOp> ops_;
  uint32_t pos_ = 0;   // the end of the ops so far
  Alignments aligns_;  // as the stream keeps them
  uint32_t lastDistance_ = 0;
  // Whether the copy at the region's alignment goes on from the region
  // before, and the last alignment a copy used.
  bool inA_ = false;
  int64_t lastAlign_ = 0;

  // Earlier new positions by their first four bytes; the chain is only
  // ever read where written.
  const uint32_t chainSize_;
  const unsigned hashBits_;
  std::vector<uint32_t> head_;
  std::unique_ptr<uint32_t[]> chain_;
  uint32_t inserted_ = 0;
};

std::vector<Anchor> Builder::FindAnchors() const {
  std::vector<Anchor> anchors{{0, 0}};
  if (!index_) return anchors;
  int64_t delta = 0;
  // How many of the bytes in [begin, end) match at `delta`.
  uint32_t begin = 0, end = 0, agree = 0;
  uint32_t misses = 0;
  for (uint32_t i = 0; i < nowSize_;) {
    const SuffixIndex::Match m =
        index_->Longest(now_ + i, std::min<size_t>(nowSize_ - i, kSearchCap));
    if (m.length < kMinAnchor) {
      // Far from anything old: look less often the longer that lasts.
      i += 1 + (misses++ >> 4);
      continue;
    }
    misses = 0;
    const int64_t d = int64_t(m.pos) - int64_t(i);
    if (d == delta) {
      i += m.length;
      continue;
    }
    const uint32_t stop = i + m.length;
    if (i >= end || i < begin) begin = end = i, agree = 0;
    for (; begin < i; ++begin) agree -= Same(begin, delta);
    for (; end < stop; ++end) agree += Same(end, delta);
    for (; end > stop; --end) agree -= Same(end - 1, delta);
    if (agree == m.length) {
      i += m.length;
    } else if (m.length >= agree + kSwitchMargin) {
      anchors.push_back({i, d});
      delta = d;
      begin = end = agree = 0;
      i += m.length;
    } else {
      ++i;
    }
  }
  return anchors;
}

// The cheapest path over the region from `anchor` to `end`, where `next`
// (if any) starts, in four states: in the anchor's alignment A, in a gap
// after A was used, in a gap before it was, in the next one's alignment B.
void Builder::Label(const Anchor& anchor, const Anchor* next, uint32_t end) {
  enum : unsigned { kA, kGapAfterA, kGapBeforeA, kB };
  constexpr double kNever = std::numeric_limits<double>::infinity();
  const uint32_t begin = anchor.at;
  const int64_t a = anchor.delta, b = next ? next->delta : 0;
  const double enterA = kCopyBits + AlignBits(a - lastAlign_);
  const double resumeA = kCopyBits + AlignBits(0);
  const double enterBFromA = kCopyBits + AlignBits(b - a);
  const double enterB = kCopyBits + AlignBits(b - lastAlign_);
  // A byte's price in a copy: nothing when it matches, a difference when it
  // does not, never outside the old file.
  enum Match : unsigned { kSame, kDiffers, kOutside };
  auto match = [&](uint32_t at, int64_t delta) {
    const int64_t o = int64_t(at) + delta;
    if (o < 0 || uint64_t(o) >= oldSize_) return kOutside;
    return old_[o] == now_[at] ? kSame : kDiffers;
  };
  const double price[3] = {0, kDiffBits, kNever};

  double cost[4];
  if (inA_) {
    cost[kA] = cost[kGapAfterA] = 0;
    cost[kGapBeforeA] = cost[kB] = kNever;
  } else {
    cost[kA] = cost[kGapAfterA] = cost[kB] = kNever;
    cost[kGapBeforeA] = 0;
  }
  // Each position's way in to each state, two bits a state.
  std::vector<uint8_t> way(end - begin);
  for (uint32_t i = begin; i < end; ++i) {
    const double inA = price[match(i, a)], inB = next ? price[match(i, b)] : kNever;
    double c[4];
    unsigned from[4];
    auto take = [&](unsigned to, unsigned state, double price) {
      if (price < c[to]) c[to] = price, from[to] = state;
    };
    c[kA] = cost[kA] + inA, from[kA] = kA;
    take(kA, kGapAfterA, cost[kGapAfterA] + resumeA + inA);
    take(kA, kGapBeforeA, cost[kGapBeforeA] + enterA + inA);
    c[kGapAfterA] = cost[kGapAfterA] + kLiteralBits, from[kGapAfterA] = kGapAfterA;
    take(kGapAfterA, kA, cost[kA] + kLiteralBits);
    c[kGapBeforeA] = cost[kGapBeforeA] + kLiteralBits, from[kGapBeforeA] = kGapBeforeA;
    c[kB] = cost[kB] + inB, from[kB] = kB;
    take(kB, kA, cost[kA] + enterBFromA + inB);
    take(kB, kGapAfterA, cost[kGapAfterA] + enterBFromA + inB);
    take(kB, kGapBeforeA, cost[kGapBeforeA] + enterB + inB);
    way[i - begin] = uint8_t(from[0] | from[1] << 2 | from[2] << 4 | from[3] << 6);
    std::copy(c, c + 4, cost);
  }

  // The path ends in B (its copy goes on in the next region) or in a gap.
  unsigned state = next ? kB : kA;
  for (unsigned s : {kGapAfterA, kGapBeforeA}) {
    if (cost[s] < cost[state]) state = s;
  }
  inA_ = next && state == kB;
  if (state == kB) lastAlign_ = b;
  else if (state != kGapBeforeA) lastAlign_ = a;
  for (uint32_t i = end; i-- > begin;) {
    const unsigned s = state;
    state = (way[i - begin] >> (2 * s)) & 3;
    way[i - begin] = uint8_t(s);
  }
  for (uint32_t i = begin; i < end;) {
    const unsigned s = way[i - begin];
    uint32_t j = i + 1;
    while (j < end && way[j - begin] == s) ++j;
    if (s == kA || s == kB) Copied(i, j - i, s == kB ? b : a);
    i = j;
  }
}

void Builder::Copied(uint32_t at, uint32_t length, int64_t delta) {
  if (pos_ != at) ParseGap(pos_, at);
  const uint32_t from = uint32_t(int64_t(at) + delta);
  if (!ops_.empty() && ops_.back().kind == kOldKind &&
      int64_t(ops_.back().from) + ops_.back().length == from) {
    ops_.back().length += length;  // the same copy, on from the region before
    pos_ += length;
  } else {
    Emit({kOldKind, length, from});
  }
}

void Builder::InsertUpTo(uint32_t at) {
  if (at - inserted_ > kLookBack) inserted_ = at - kLookBack;
  for (; inserted_ < at && inserted_ + 4 <= nowSize_; ++inserted_) {
    const uint32_t h = Hash4(now_ + inserted_, hashBits_);
    chain_[inserted_ & (chainSize_ - 1)] = head_[h];
    head_[h] = inserted_ + 1;
  }
}

Builder::Choice Builder::BestCopy(uint32_t at, uint32_t end) {
  Choice best{{kLiteralKind, 1, 0}, 0};
  const uint32_t room = end - at;
  if (room < kMinGapCopy) return best;
  auto consider = [&](Kind kind, uint32_t length, uint32_t from, double price) {
    const double gain = length * kLiteralBits - price;
    if (gain > best.gain) best = {{kind, length, from}, gain};
  };
  if (index_) {
    const SuffixIndex::Match m = index_->Longest(now_ + at, std::min(room, kSearchCap));
    if (m.length >= kMinGapCopy) {
      const int64_t align = int64_t(m.pos) - at;
      const double bits =
          std::min(AlignBits(align - aligns_.last), AlignBits(align - aligns_.before));
      consider(kOldKind, m.length, m.pos, kCopyBits + bits + NumberBits(m.length - 1));
    }
  }
  InsertUpTo(at);
  unsigned depth = kChainDepth;
  for (uint32_t c = head_[Hash4(now_ + at, hashBits_)]; c != 0 && depth-- > 0;
       c = chain_[(c - 1) & (chainSize_ - 1)]) {
    const uint32_t distance = at - (c - 1);
    if (distance > kReach || distance >= chainSize_) break;
    const uint8_t* p = now_ + (c - 1);
    uint32_t n = 0;
    while (n < room && p[n] == now_[at + n]) ++n;
    if (n >= kMinGapCopy) {
      const double bits = distance == lastDistance_ ? 1 : NumberBits(distance - 1);
      consider(kNewKind, n, distance, kCopyBits + bits + NumberBits(n - kMinNewLength));
    }
  }
  return best;
}

void Builder::Emit(const PatchOp& op) {
  if (op.kind == kLiteralKind && !ops_.empty() && ops_.back().kind == kLiteralKind) {
    ops_.back().length += op.length;
  } else {
    ops_.push_back(op);
  }
  if (op.kind == kOldKind) aligns_.Use(int64_t(op.from) - int64_t(pos_));
  if (op.kind == kNewKind) lastDistance_ = op.from;
  pos_ += op.length;
}

void Builder::ParseGap(uint32_t begin, uint32_t end) {
  uint32_t misses = 0;
  for (uint32_t at = begin; at < end;) {
    Choice here = BestCopy(at, end);
    if (here.gain > 0 && at + 1 < end) {
      // One step later may find a copy that pays for the literal between.
      const Choice later = BestCopy(at + 1, end);
      if (later.gain > here.gain + kLiteralBits) here.gain = 0;
    }
    if (here.gain > 0) {
      Emit(here.op);
      at += here.op.length;
      misses = 0;
    } else {
      // Bytes that nothing matches (new compressed data): look less often
      // the longer that lasts.
      const uint32_t step = std::min(end - at, 1 + (misses++ >> 5));
      Emit({kLiteralKind, step, 0});
      at += step;
    }
  }
}

std::vector<PatchOp> Builder::Build() {
  const std::vector<Anchor> anchors = FindAnchors();
  for (size_t r = 0; r < anchors.size(); ++r) {
    const bool last = r + 1 == anchors.size();
    Label(anchors[r], last ? nullptr : &anchors[r + 1], last ? nowSize_ : anchors[r + 1].at);
  }
  if (pos_ != nowSize_) ParseGap(pos_, nowSize_);
  // Long literal runs that look random go raw.
  uint32_t at = 0;
  for (PatchOp& op : ops_) {
    if (op.kind == kLiteralKind && op.length >= kMinRawRun && LooksRandom(now_ + at, op.length))
      op.kind = kRawKind;
    at += op.length;
  }
  return std::move(ops_);
}

}  // namespace

std::vector<uint8_t> BuildPatch(const uint8_t* old, size_t oldSize, const uint8_t* now,
                                size_t nowSize) {
  return EncodePatch(old, oldSize, now, nowSize, Builder(old, oldSize, now, nowSize).Build());
}
