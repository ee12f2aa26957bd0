// The patch format: how one old file and a patch make one new file.
// Shared by the builder and the applier; every rule of it is written here.
//
// The package record around a patch gives the old and the new file's size.
// A patch is, in order:
// - one byte: the window's bits w, kMinWindowBits to kMaxWindowBits: no
//   new copy reaches further back than 2^w bytes;
// - the count of raw bytes, 7 bits a byte, the lowest first, the top bit
//   set on every byte but the last (at most 5 bytes);
// - the raw bytes: literals stored as they are, taken in order by the raw
//   runs below;
// - the range-coded stream, to the patch's end.
// Decoding makes the new file from its start, one operation after another,
// until it has the new size. Then both the stream and the raw bytes must
// have been read exactly to their ends. An operation that would reach
// outside either file (before the old file's start, past its end, past
// the new size, before the new file's start, or further back than the
// window), and a number whose class is above 31, make the patch damaged.
//
// The range coder. `range` starts at 0xFFFFFFFF, `code` with the stream's
// first 4 bytes, most significant first. A bit under probability p (the
// chance of a 0 in 1/4096ths, 12 bits) splits range at
// bound = (range >> 12) * p: code below bound is a 0 (range = bound,
// p += (4096 - p) >> s), otherwise a 1 (code -= bound, range -= bound,
// p -= p >> s), where the shift s is kFastShift for the models of
// differences (kDiffAtNext, kDiffGap, kDiffRecent, kDiffByte) and
// kAdaptShift for all others. A direct bit halves range (range >>= 1) and
// is a 1 when code >= range, which is then taken off code. After each bit,
// while range < 2^24, both shift left by 8 and the stream's next byte
// enters code. Every probability starts at 2048. Models are indexed in one
// array of kModelSize probabilities at the offsets below.
//
// A tree of n bits reads a value most significant bit first: node m starts
// at 1 and becomes 2m + bit, each bit under probability [m] of the tree;
// the value is m - 2^n. A number (any 32-bit value v, by a model of
// kNumberModelSize probabilities): with v + 1 = 2^k + low (0 <= low < 2^k),
// a bit under the model's [0] says k >= 8; if not, k is a 3-bit tree at
// the model's start (its nodes are [1] to [7]), if so k - 8 is a 5-bit
// tree at [kNumberLargeAt]; then the top t = min(k, 3) bits of low, a t-bit
// tree at [kNumberTopAt + 8k]; then the other k - t bits of low as direct
// bits, most significant first.
//
// The state is the kinds of the last two operations (NextState; 0 at the
// start). Each operation starts with a bit under kIsMatch[state]:
// - 0: a literal, an 8-bit tree under kLiteral + 256 * (the new file's
//   byte before it; 0 at its start).
// - 1, then a bit under kIsOld[state]:
//   - 1: an old copy. It is coded against one of two alignments (old
//     offset less new offset; Alignments, both 0 at the start): a bit
//     under kUseBefore[state] picks `before` (1) or `last` (0). A bit under
//     kSameAlign[state] says the copy is at that alignment (1); if not, a
//     bit under kAlignSign[1 if `before`] (1: lower) and a number of model
//     kAlignDistance, the distance less 1, give its own. Its length less 1
//     is a number of model kOldLength + kNumberModelSize * (0 if at the
//     same alignment, 1 if not). The alignments then Use its alignment.
//     The copy's bytes are the old file's at (new offset + alignment), each
//     with a difference added modulo 256, zero but where listed. From the
//     copy's start, in turn: where the next nonzero difference could be at
//     the very next byte, a bit under kDiffAtNext[gap context] says it is
//     (1); if not, the count of zeros before it, or 0 for none (the end of
//     the copy's list), by the model at kDiffGap + kDiffGapSize * (gap
//     context): a bit under its [0] says whether the count is 16 or more;
//     if not, the count is a 4-bit tree at the model's start, if so the
//     count less 16 is a number of model [kShortGaps]. Then its value: a
//     bit under kDiffRecent[2 * value context] says it is the latest value
//     seen in that context (RecentDiffs), else one under [... + 1] the one
//     before, else an 8-bit tree under kDiffByte + 256 * (value context).
//     The contexts come from the previous difference (of any copy; 0 at
//     the start): its value, whether it spilled (Spills, of its old byte
//     and value), for the gap whether this is the copy's first, for the
//     value whether it was the byte just before in this copy
//     (DiffGapContext, DiffByteContext).
//   - 0, then a bit under kIsRaw[state]:
//     - 1: a raw run: its length less 1, a number of model kRawLength;
//       that many next raw bytes.
//     - 0: a new copy: a bit under kNewRepeat[state] repeats the last new
//       copy's distance (1; 0 at the start, which no copy may use), or a
//       number of model kNewDistance gives the distance less 1; then its
//       length less kMinNewLength, a number of model kNewLength. The bytes
//       are copied from that far back in the new file, one after another
//       (a distance shorter than the length repeats them).
#pragma once
#include <cstddef>
#include <cstdint>

namespace patch {

// Range coder.
constexpr unsigned kProbBits = 12;
constexpr uint16_t kProbInit = 1u << (kProbBits - 1);
constexpr unsigned kAdaptShift = 4;
// The models of differences adapt faster: which values and gaps come next
// changes from one part of a program to the next.
constexpr unsigned kFastShift = 3;
constexpr uint32_t kRangeTop = 1u << 24;

// Numbers: the class k (the bit length of v + 1, less one): a bit for
// whether it is kNumberSmallClasses or more, then a tree of the small ones
// or of the rest (less kNumberSmallClasses); then up to kNumberTopBits bits
// of the rest modelled per class. Most numbers are small, and their class
// takes four bits.
constexpr unsigned kNumberSmallBits = 3;
constexpr unsigned kNumberSmallClasses = 1u << kNumberSmallBits;
constexpr unsigned kNumberLargeBits = 5;
constexpr size_t kNumberLargeAt = kNumberSmallClasses;  // after the bit and the small tree
constexpr unsigned kNumberTopBits = 3;
constexpr size_t kNumberTopAt = kNumberLargeAt + (size_t(1) << kNumberLargeBits);
constexpr size_t kNumberModelSize = kNumberTopAt + (size_t(1) << kNumberTopBits) * 32;

// Operation kinds, and the state: the kinds of the last two operations.
enum Kind : unsigned { kLiteralKind = 0, kOldKind = 1, kNewKind = 2, kRawKind = 3 };
constexpr unsigned kStates = 16;
constexpr unsigned NextState(unsigned state, unsigned kind) { return kind + 4 * (state % 4); }

// How far back a new copy may reach: 2^bits, the bits in the patch's first
// byte, within these; the applier keeps that much of the new file. Its
// shortest length.
constexpr unsigned kMinWindowBits = 16;
constexpr unsigned kMaxWindowBits = 23;
constexpr uint32_t kMaxWindow = uint32_t(1) << kMaxWindowBits;
constexpr uint32_t kMinNewLength = 3;


// The alignments (old offset less new offset) that old copies are coded
// against: the last copy's and the one before it.
struct Alignments {
  int64_t last = 0, before = 0;
  constexpr void Use(int64_t align) {
    if (align != last) {
      before = last;
      last = align;
    }
  }
};

// Whether a difference added to an old byte spills into the next byte, as
// adding to a number stored low byte first does: a carry out of a positive
// difference, none out of a negative one (a borrow). Whether the next byte
// differs, and by what, depends much on it.
constexpr bool Spills(uint8_t oldByte, uint8_t diff) {
  return (oldByte + diff >= 256) != (diff >= 0x80);
}

// The contexts of a difference's gap and value, from the difference before
// it: coarse ones, which the fast models fill soon. The value of one right
// after the last depends most on it and on whether it spilled.
// A gap: a bit for whether it is kShortGaps or more, then a tree of the
// short ones, or a number of the rest (less kShortGaps). Most gaps between
// a program's changed pointers are short.
constexpr unsigned kShortGapBits = 4;
constexpr uint32_t kShortGaps = 1u << kShortGapBits;
constexpr size_t kDiffGapSize = kShortGaps + kNumberModelSize;

// A copy's first gap has its own: whether a copy has differences at all
// is another matter.
constexpr unsigned kDiffGapContexts = 128 + 1;
constexpr unsigned DiffGapContext(unsigned previous, bool spill, bool first) {
  return first ? 128 : (previous >> 2) * 2 + (spill ? 1 : 0);
}
constexpr unsigned kDiffByteContexts = 8 + 128;
constexpr unsigned DiffByteContext(unsigned previous, bool adjacent, bool spill) {
  return adjacent ? 8 + (previous >> 2) * 2 + (spill ? 1 : 0) : previous >> 5;
}

// The two values seen last in each value context, the latest first: a
// difference is most often one of them, and then costs one or two bits.
struct RecentDiffs {
  uint8_t values[kDiffByteContexts][2] = {};
  constexpr void Use(unsigned context, uint8_t value) {
    uint8_t* v = values[context];
    if (v[0] != value) {
      v[1] = v[0];
      v[0] = value;
    }
  }
};

// Where each model stands in the one array of probabilities both sides keep.
constexpr size_t kIsMatch = 0;
constexpr size_t kIsOld = kIsMatch + kStates;
constexpr size_t kUseBefore = kIsOld + kStates;
constexpr size_t kSameAlign = kUseBefore + kStates;
constexpr size_t kAlignSign = kSameAlign + kStates;
constexpr size_t kAlignDistance = kAlignSign + 2;
constexpr size_t kOldLength = kAlignDistance + kNumberModelSize;  // two models
constexpr size_t kDiffAtNext = kOldLength + 2 * kNumberModelSize;  // [gap context]
constexpr size_t kDiffGap = kDiffAtNext + kDiffGapContexts;  // kDiffGapSize by gap context
constexpr size_t kDiffRecent = kDiffGap + kDiffGapContexts * kDiffGapSize;  // 2 per value context
constexpr size_t kIsRaw = kDiffRecent + 2 * kDiffByteContexts;
constexpr size_t kRawLength = kIsRaw + kStates;
constexpr size_t kNewRepeat = kRawLength + kNumberModelSize;
constexpr size_t kNewDistance = kNewRepeat + kStates;
constexpr size_t kNewLength = kNewDistance + kNumberModelSize;
constexpr size_t kDiffByte = kNewLength + kNumberModelSize;
constexpr size_t kLiteral = kDiffByte + kDiffByteContexts * 256;  // 256 trees
constexpr size_t kModelSize = kLiteral + 256 * 256;

}  // namespace patch
