// Block decoder: a fast loop that checks no bound while both buffers have a
// generous margin left, and the same loop with every bound checked for the
// last bytes of either buffer.
#include "package/decompress.h"

#include <bit>
#include <cstring>

#include "core/block_format.h"
#include "core/le.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

// The fast loop copies literals and matches in whole units that may run
// past their end.
constexpr size_t kLiteralUnit = kControlWordBits;  // a run: one word's flags
constexpr size_t kMatchOverrun = 32;               // a wide match copy, rounded

// Largest output of one step of the loop: two runs of literals, each copied
// as one unit, then the longest match and its copy's overrun. The input
// side: two literal runs read as units, three control words, two byte
// fields and the control word a look-ahead reads.
constexpr size_t kOutputMargin = 2 * kLiteralUnit + kMaxLength + kMatchOverrun;
constexpr size_t kInputMargin =
    2 * kLiteralUnit + 3 * kControlWordBytes + 2 + kControlWordBytes;

enum class Stop { OutOfMargin, End, Damaged };

inline void Copy8(uint8_t* to, const uint8_t* from) { std::memcpy(to, from, 8); }
inline void Copy16(uint8_t* to, const uint8_t* from) { std::memcpy(to, from, 16); }

struct DecoderState {
  const uint8_t* in;
  const uint8_t* inEnd;
  uint8_t* out;
  uint8_t* outStart;
  uint8_t* outEnd;
  uint64_t word;   // unread bits of the control word at the top, zeros below
  unsigned left;   // unread bits in `word`
};

// Copies `length` bytes from `distance` back, with the result of a
// byte-at-a-time copy. May write up to 31 bytes past the match, which the caller
// guarantees are inside the destination.
inline uint8_t* CopyMatchWide(uint8_t* out, size_t distance, size_t length) {
  uint8_t* end = out + length;
  const uint8_t* from = out - distance;
  if (distance >= 16) {
    // Most matches are short: two 16-byte units cover them without a loop.
    Copy16(out, from);
    Copy16(out + 16, from + 16);
    for (out += 32, from += 32; out < end; out += 16, from += 16) Copy16(out, from);
  } else if (distance >= 8) {
    Copy8(out, from);
    Copy8(out + 8, from + 8);
    for (out += 16, from += 16; out < end; out += 8, from += 8) Copy8(out, from);
  } else {
    // The last `distance` bytes repeated to fill a unit, stored at every
    // whole multiple of the distance.
    static constexpr uint8_t kStep[8] = {0, 8, 8, 6, 8, 5, 6, 7};
    uint64_t unit = 0;
    for (size_t i = 0; i < distance; ++i) unit |= uint64_t(from[i]) << (8 * i);
    for (size_t have = distance; have < 8; have *= 2) unit |= unit << (8 * have);
    size_t step = kStep[distance];
    do {
      std::memcpy(out, &unit, 8);
      out += step;
    } while (out < end);
  }
  return end;
}

// The exact copy for the last bytes of the destination.
inline uint8_t* CopyMatchExact(uint8_t* out, size_t distance, size_t length) {
  const uint8_t* from = out - distance;
  if (distance >= 8) {
    for (; length >= 8; length -= 8, out += 8, from += 8) Copy8(out, from);
  }
  while (length--) *out++ = *from++;
  return out;
}

// Leading zeros of a 4-bit group (4 when all are zero), from a packed
// table of nibbles: the processor's own count is slow on some machines and
// sits on the path from one token to the next.
inline unsigned PrefixZeros(uint32_t group) {
  return unsigned(0x11112234ull >> (4 * group)) & 15;
}

// `n` bits (0 to 32) that follow the first `skip` bits of a look-ahead.
inline uint32_t TopBits(uint64_t bits, unsigned skip, unsigned n) {
  return uint32_t(((bits << skip) >> 32) >> (32 - n));
}

// Decodes tokens until the end code, a damaged token, or (unchecked form) the
// point where either buffer has less than its margin left. In the unchecked
// form nothing is compared against the buffer ends: the margins cover the
// largest step.
//
// The bits of a token come in at most two groups, split by a byte field.
// Each group is decoded from a 64-bit look-ahead: the unread bits of the
// word, then the four bytes at the read position, which are exactly the
// next control word should the group run past this one (no byte field comes
// between). Only once the group's size is known is the next word taken.
template <bool Checked>
[[gnu::always_inline]] inline Stop DecodeTokens(DecoderState& s) {
  const uint8_t* in = s.in;
  uint8_t* out = s.out;
  uint64_t word = s.word;
  unsigned left = s.left;
  const uint8_t* const inEnd = s.inEnd;
  uint8_t* const outStart = s.outStart;
  uint8_t* const outEnd = s.outEnd;
  uint64_t bits;

  // A look-ahead that runs past the source reads zeros; taking such bits is
  // caught below.
#define UPD_PEEK()                                                            \
  do {                                                                        \
    uint32_t next_ = Checked && inEnd - in < 4 ? 0 : LoadLe32(in);            \
    bits = word | uint64_t(next_) << (32 - left);                             \
  } while (0)
  // Takes `count` (below 32) bits of the look-ahead, and the next word with
  // them when they reach into it.
#define UPD_TAKE(count)                                                       \
  do {                                                                        \
    unsigned c_ = (count);                                                    \
    bool cross_ = c_ > left;                                                  \
    if (Checked && cross_ && inEnd - in < 4) return Stop::Damaged;            \
    left = left + 32 * unsigned(cross_) - c_;                                 \
    in += 4 * size_t(cross_);                                                 \
    word = (bits << c_) & ~(~uint64_t(0) >> left);                            \
  } while (0)
#define UPD_BYTE(b)                                                           \
  do {                                                                        \
    if (Checked && in == inEnd) return Stop::Damaged;                         \
    (b) = *in++;                                                              \
  } while (0)
  // A run of literals: their flag bits are the leading ones of the word (the
  // bits below the unread ones are zero) and no control word can stand
  // between their bytes.
#define UPD_LITERALS()                                                        \
  do {                                                                        \
    unsigned run_ = std::countl_one(uint32_t(word >> 32));                    \
    if (Checked) {                                                            \
      if (size_t(inEnd - in) < run_ || size_t(outEnd - out) < run_)           \
        return Stop::Damaged;                                                 \
      if (run_ != 0) std::memcpy(out, in, run_); /* `out` may be null */      \
    } else {                                                                  \
      std::memcpy(out, in, kLiteralUnit);                                     \
    }                                                                         \
    out += run_;                                                              \
    in += run_;                                                               \
    word <<= run_;                                                            \
    left -= run_;                                                             \
  } while (0)

  for (;;) {
    if (!Checked && (size_t(inEnd - in) < kInputMargin ||
                     size_t(outEnd - out) < kOutputMargin)) {
      s.in = in;
      s.out = out;
      s.word = word;
      s.left = left;
      return Stop::OutOfMargin;
    }
    UPD_LITERALS();
    if (left == 0) {
      // The word ran out with the run: the next one stands right after it.
      if (Checked && inEnd - in < 4) return Stop::Damaged;
      word = uint64_t(LoadLe32(in)) << 32;
      in += 4;
      left = 32;
      UPD_LITERALS();
      if (left == 0) continue;
    }

    // A match: the 0 that ended the run, the kind bit, and for a short match
    // the selector, for a long one the distance prefix.
    UPD_PEEK();
    size_t distance, length;
    unsigned b;
    if (TopBits(bits, 1, 1)) {
      unsigned selector = TopBits(bits, 2, 1);
      UPD_TAKE(3);
      UPD_BYTE(b);
      unsigned value = b;
      if (selector) {
        UPD_PEEK();
        value = 256 + 8 * b + TopBits(bits, 0, 3);
        UPD_TAKE(3);
        if (value == kEndCode) {
          s.out = out;
          return Stop::End;
        }
      }
      distance = value + 1;
      if (distance > size_t(out - outStart)) return Stop::Damaged;
      if (Checked && outEnd - out < 2) return Stop::Damaged;
      const uint8_t* from = out - distance;
      out[0] = from[0];
      out[1] = from[1];
      out += 2;
      continue;
    }

    // Distance prefix: 1, 01, 001, 0001 or 0000 (z = 0..4 zeros); then the
    // byte; then max(z, 1) low bits and the length field in one group.
    unsigned zeros = PrefixZeros(TopBits(bits, 2, 4));
    UPD_TAKE(2 + zeros + (zeros < 4));
    UPD_BYTE(b);
    UPD_PEEK();
    unsigned lowBits = zeros | unsigned(zeros == 0);
    distance = ((256u << zeros) & ~511u) + (b << lowBits) +
               TopBits(bits, 0, lowBits) + 1;
    // Length prefix: 1, 01, 001, 0001, 00001 or 00000 (0..5 zeros); the
    // first five forms give 3, 4, 5, 7, 11 plus 0, 0, 1, 2, 4 low bits.
    uint32_t lengthPrefix = TopBits(bits, lowBits, 5);
    unsigned lengthZeros = PrefixZeros(lengthPrefix >> 1) + unsigned(lengthPrefix == 0);
    if (lengthZeros < 5) {
      unsigned extra = (1u << lengthZeros) >> 2;
      unsigned used = lowBits + lengthZeros + 1;
      length = 3 + ((1u << lengthZeros) >> 1) + TopBits(bits, used, extra);
      UPD_TAKE(used + extra);
    } else {
      UPD_TAKE(lowBits + 5);
      UPD_BYTE(b);
      length = 27 + b;
    }

    if (distance > size_t(out - outStart)) return Stop::Damaged;
    if (Checked) {
      if (size_t(outEnd - out) < length) return Stop::Damaged;
      out = CopyMatchExact(out, distance, length);
    } else {
      out = CopyMatchWide(out, distance, length);
    }
  }
#undef UPD_LITERALS
#undef UPD_BYTE
#undef UPD_TAKE
#undef UPD_PEEK
}

#if defined(__i386__) || defined(__x86_64__)
// The fast loop once more for processors with LZCNT: counting the literal
// flags sits on the path from one token to the next, and the older
// instruction takes several times as long on some processors.
[[gnu::target("lzcnt")]] Stop DecodeTokensLzcnt(DecoderState& s) {
  return DecodeTokens<false>(s);
}

bool HasLzcnt() {
  unsigned eax, ebx, ecx, edx;
  return __get_cpuid(0x80000001, &eax, &ebx, &ecx, &edx) && (ecx & bit_LZCNT);
}
#endif

// The fast loop with the best instructions this processor has.
Stop DecodeTokensFast(DecoderState& s) {
#if defined(__i386__) || defined(__x86_64__)
  static const bool lzcnt = HasLzcnt();
  if (lzcnt) return DecodeTokensLzcnt(s);
#endif
  return DecodeTokens<false>(s);
}

}  // namespace

bool DecompressBlock(uint8_t* dest, size_t destCapacity, const uint8_t* source,
                     size_t sourceSize, size_t* written) {
  if (sourceSize < 4) return false;
  DecoderState s{source + 4, source + sourceSize, dest, dest,
                 dest + destCapacity, uint64_t(LoadLe32(source)) << 32, 32};
  Stop stop = DecodeTokensFast(s);
  if (stop == Stop::OutOfMargin) stop = DecodeTokens<true>(s);
  if (stop != Stop::End) return false;
  *written = size_t(s.out - dest);
  return true;
}
