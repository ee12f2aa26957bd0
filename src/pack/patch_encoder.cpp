// Patch stream writer: the range encoder and the same models, in the same
// order, as the applier decodes them.
#include "pack/patch_encoder.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

namespace {

using namespace patch;

class RangeEncoder {
 public:
  explicit RangeEncoder(std::vector<uint8_t>& out) : out_(out) {}

  void Bit(uint16_t& p, unsigned bit, unsigned shift = kAdaptShift) {
    const uint32_t bound = (range_ >> kProbBits) * p;
    if (bit == 0) {
      range_ = bound;
      p = uint16_t(p + (((1u << kProbBits) - p) >> shift));
    } else {
      low_ += bound;
      range_ -= bound;
      p = uint16_t(p - (p >> shift));
    }
    Normalize();
  }
  void Direct(uint32_t value, unsigned count) {
    while (count-- > 0) {
      range_ >>= 1;
      if ((value >> count) & 1) low_ += range_;
      Normalize();
    }
  }
  void Tree(uint16_t* probs, unsigned bits, unsigned value, unsigned shift = kAdaptShift) {
    unsigned node = 1;
    for (unsigned i = bits; i-- > 0;) {
      const unsigned bit = (value >> i) & 1;
      Bit(probs[node], bit, shift);
      node = node * 2 + bit;
    }
  }
  void Number(uint16_t* model, uint32_t value, unsigned shift = kAdaptShift) {
    const uint64_t v = uint64_t(value) + 1;
    const unsigned k = unsigned(std::bit_width(v)) - 1;
    const uint32_t low = uint32_t(v - (uint64_t(1) << k));
    const unsigned top = k < kNumberTopBits ? k : kNumberTopBits;
    Bit(model[0], k >= kNumberSmallClasses, shift);
    if (k < kNumberSmallClasses) Tree(model, kNumberSmallBits, k, shift);
    else Tree(model + kNumberLargeAt, kNumberLargeBits, k - kNumberSmallClasses, shift);
    Tree(model + kNumberTopAt + (size_t(k) << kNumberTopBits), top, low >> (k - top), shift);
    Direct(low, k - top);
  }
  // The first byte out is always 0 (nothing carries into it) and is left
  // out; four more push the rest of `low` out.
  void Finish() {
    for (int i = 0; i < 5; ++i) ShiftLow();
  }

 private:
  void Normalize() {
    while (range_ < kRangeTop) {
      range_ <<= 8;
      ShiftLow();
    }
  }
  // Bytes of `low` go out once no carry can change them: a run of 0xFF
  // waits until the byte before it is settled.
  void ShiftLow() {
    if (uint32_t(low_) < 0xFF000000u || (low_ >> 32) != 0) {
      const uint8_t carry = uint8_t(low_ >> 32);
      if (started_) out_.push_back(uint8_t(cache_ + carry));
      for (; pending_ != 0; --pending_) out_.push_back(uint8_t(0xFF + carry));
      cache_ = uint8_t(low_ >> 24);
      started_ = true;
    } else {
      ++pending_;
    }
    low_ = (low_ & 0x00FFFFFF) << 8;
  }

  std::vector<uint8_t>& out_;
  uint64_t low_ = 0;
  uint32_t range_ = 0xFFFFFFFF;
  uint8_t cache_ = 0;
  bool started_ = false;
  uint64_t pending_ = 0;
};

}  // namespace

std::vector<uint8_t> EncodePatch(const uint8_t* old, size_t oldSize, const uint8_t* now,
                                 size_t nowSize, const std::vector<PatchOp>& ops) {
  std::vector<uint8_t> stream, raw;
  RangeEncoder rc(stream);
  std::vector<uint16_t> probs(kModelSize, kProbInit);
  unsigned state = 0;
  Alignments aligns;
  uint32_t lastDistance = 0, farthest = 0;
  // The last difference, and whether it spilled into the next byte.
  unsigned previous = 0;
  bool spill = false;
  RecentDiffs recent;
  size_t pos = 0;
  for (const PatchOp& op : ops) {
    if (op.kind == kLiteralKind) {
      for (uint32_t i = 0; i < op.length; ++i, ++pos) {
        rc.Bit(probs[kIsMatch + state], 0);
        rc.Tree(&probs[kLiteral + 256 * (pos != 0 ? now[pos - 1] : 0)], 8, now[pos]);
        state = NextState(state, kLiteralKind);
      }
      continue;
    }
    rc.Bit(probs[kIsMatch + state], 1);
    rc.Bit(probs[kIsOld + state], op.kind == kOldKind);
    if (op.kind != kOldKind) rc.Bit(probs[kIsRaw + state], op.kind == kRawKind);
    if (op.kind == kRawKind) {
      rc.Number(&probs[kRawLength], op.length - 1);
      raw.insert(raw.end(), now + pos, now + pos + op.length);
    } else if (op.kind == kNewKind) {
      const bool repeat = op.from == lastDistance;
      rc.Bit(probs[kNewRepeat + state], repeat);
      if (!repeat) rc.Number(&probs[kNewDistance], op.from - 1);
      rc.Number(&probs[kNewLength], op.length - kMinNewLength);
      lastDistance = op.from;
      farthest = std::max(farthest, op.from);
    } else {
      if (size_t(op.from) + op.length > oldSize) std::abort();  // a builder's fault
      // From the nearer of the two alignments (old offset less new offset).
      const int64_t align = int64_t(op.from) - int64_t(pos);
      const bool useBefore = align != aligns.last &&
                        std::llabs(align - aligns.before) < std::llabs(align - aligns.last);
      const int64_t delta = align - (useBefore ? aligns.before : aligns.last);
      rc.Bit(probs[kUseBefore + state], useBefore);
      rc.Bit(probs[kSameAlign + state], delta == 0);
      if (delta != 0) {
        rc.Bit(probs[kAlignSign + useBefore], delta < 0);
        rc.Number(&probs[kAlignDistance], uint32_t(std::llabs(delta) - 1));
      }
      rc.Number(&probs[kOldLength + (delta == 0 ? 0 : kNumberModelSize)], op.length - 1);
      aligns.Use(align);

      const uint8_t* from = old + op.from;
      const uint8_t* to = now + pos;
      uint32_t diffs = 0, last = 0;
      for (uint32_t i = 0; i <= op.length; ++i) {
        // Each nonzero difference, then the list's end (a gap of none).
        const uint8_t diff = i < op.length ? uint8_t(to[i] - from[i]) : 0;
        if (diff == 0 && i < op.length) continue;
        const unsigned gapContext = DiffGapContext(previous, spill, diffs == 0);
        const bool atNext = i == last && i < op.length;
        if (last < op.length) rc.Bit(probs[kDiffAtNext + gapContext], atNext, kFastShift);
        if (!atNext) {
          const uint32_t gap = i < op.length ? i - last : 0;
          uint16_t* model = &probs[kDiffGap + gapContext * kDiffGapSize];
          rc.Bit(model[0], gap >= kShortGaps, kFastShift);
          if (gap < kShortGaps) rc.Tree(model, kShortGapBits, gap, kFastShift);
          else rc.Number(model + kShortGaps, gap - kShortGaps, kFastShift);
        }
        if (i == op.length) break;
        const unsigned context = DiffByteContext(previous, atNext && diffs != 0, spill);
        const uint8_t* seen = recent.values[context];
        rc.Bit(probs[kDiffRecent + 2 * context], diff == seen[0], kFastShift);
        if (diff != seen[0]) {
          rc.Bit(probs[kDiffRecent + 2 * context + 1], diff == seen[1], kFastShift);
          if (diff != seen[1]) rc.Tree(&probs[kDiffByte + 256 * context], 8, diff, kFastShift);
        }
        recent.Use(context, diff);
        previous = diff;
        spill = Spills(from[i], diff);
        last = i + 1;
        ++diffs;
      }
    }
    pos += op.length;
    state = NextState(state, op.kind);
  }
  if (pos != nowSize) std::abort();  // a builder's fault: the ops must make the file
  rc.Finish();

  // The window's bits, the raw bytes' count in 7-bit groups (low first, the
  // top bit set on all but the last), the raw bytes, then the stream.
  unsigned windowBits = kMinWindowBits;
  while ((uint32_t(1) << windowBits) < farthest) ++windowBits;
  std::vector<uint8_t> patch{uint8_t(windowBits)};
  for (size_t n = raw.size();; n >>= 7) {
    patch.push_back(uint8_t((n & 0x7F) | (n >= 0x80 ? 0x80 : 0)));
    if (n < 0x80) break;
  }
  patch.insert(patch.end(), raw.begin(), raw.end());
  patch.insert(patch.end(), stream.begin(), stream.end());
  return patch;
}
