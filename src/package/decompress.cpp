// Block decoder: a fast loop that checks no bound while both buffers have a
// generous margin left, and the same loop with every bound checked for the
// last bytes of either buffer.
#include "package/decompress.h"

#include <bit>
#include <cstring>

namespace {

// Largest output of one step of the loop: two runs of up to 32 literals,
// each copied as one 32-byte unit, then a match of up to 282 bytes whose copy
// may run 7 bytes long. The input side: two literal runs read as 32-byte
// units, three control words, two byte fields and the 4 bytes a look-ahead
// reads.
constexpr size_t kOutputMargin = 32 + 32 + 282 + 8;
constexpr size_t kInputMargin = 32 + 4 + 32 + 4 + 1 + 4 + 1 + 4 + 14;

constexpr unsigned kEndCode = 2303;

enum class Stop { OutOfMargin, End, Damaged };

// The bytes of a control word stand low byte first; built from single bytes
// so the host's byte order does not matter (compilers turn it into one load).
inline uint32_t LoadWord(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
         uint32_t(p[3]) << 24;
}

inline void Copy8(uint8_t* to, const uint8_t* from) { std::memcpy(to, from, 8); }

struct DecoderState {
  const uint8_t* in;
  const uint8_t* inEnd;
  uint8_t* out;
  uint8_t* outStart;
  uint8_t* outEnd;
  uint32_t word;   // unread bits at the top, zeros shifted in below them
  unsigned left;   // unread bits in `word`
};

// Copies `length` bytes from `distance` back, with the result of a
// byte-at-a-time copy. May write up to 7 bytes past the match, which the caller
// guarantees are inside the destination.
inline uint8_t* CopyMatchWide(uint8_t* out, size_t distance, size_t length) {
  uint8_t* end = out + length;
  const uint8_t* from = out - distance;
  if (distance >= 8) {
    do {
      Copy8(out, from);
      out += 8;
      from += 8;
    } while (out < end);
  } else if (distance == 1) {
    uint64_t fill = uint64_t(from[0]) * 0x0101010101010101ull;
    do {
      std::memcpy(out, &fill, 8);
      out += 8;
    } while (out < end);
  } else {
    // The first eight bytes one by one; after them the pattern repeats with a
    // multiple of the distance that is 8 or more, so whole units can follow.
    for (int i = 0; i < 8; ++i) out[i] = from[i];
    size_t period = distance * ((8 + distance - 1) / distance);
    out += 8;
    from = out - period;
    while (out < end) {
      Copy8(out, from);
      out += 8;
      from += 8;
    }
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
Stop DecodeTokens(DecoderState& s) {
  const uint8_t* in = s.in;
  uint8_t* out = s.out;
  uint32_t word = s.word;
  unsigned left = s.left;
  const uint8_t* const inEnd = s.inEnd;
  uint8_t* const outStart = s.outStart;
  uint8_t* const outEnd = s.outEnd;
  uint64_t bits;

  // A look-ahead that runs past the source reads zeros; taking such bits is
  // caught below.
#define UPD_PEEK()                                                            \
  do {                                                                        \
    uint32_t next_ = Checked && inEnd - in < 4 ? 0 : LoadWord(in);            \
    bits = uint64_t(word) << 32 | uint64_t(next_) << (32 - left);             \
  } while (0)
  // Takes `count` (below 32) bits of the look-ahead, and the next word with
  // them when they reach into it.
#define UPD_TAKE(count)                                                       \
  do {                                                                        \
    unsigned c_ = (count);                                                    \
    bool cross_ = c_ > left;                                                  \
    if (Checked && cross_ && inEnd - in < 4) return Stop::Damaged;            \
    uint32_t after_ = uint32_t((bits << c_) >> 32);                           \
    word = cross_ ? after_ : word << c_;                                      \
    in += cross_ ? 4 : 0;                                                     \
    left = left + (cross_ ? 32 : 0) - c_;                                     \
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
    unsigned run_ = std::countl_one(word);                                    \
    if (Checked) {                                                            \
      if (size_t(inEnd - in) < run_ || size_t(outEnd - out) < run_)           \
        return Stop::Damaged;                                                 \
      std::memcpy(out, in, run_);                                             \
    } else {                                                                  \
      std::memcpy(out, in, 32);                                               \
    }                                                                         \
    out += run_;                                                              \
    in += run_;                                                               \
    word = uint32_t(uint64_t(word) << run_);                                  \
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
      word = LoadWord(in);
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
    unsigned zeros = std::countl_zero(uint32_t((bits << 2) >> 32) | 0x08000000u);
    UPD_TAKE(2 + zeros + (zeros < 4));
    UPD_BYTE(b);
    UPD_PEEK();
    unsigned lowBits = zeros ? zeros : 1;
    distance = (zeros ? 256u << zeros : 0u) + (b << lowBits) +
               TopBits(bits, 0, lowBits) + 1;
    // Length prefix: 1, 01, 001, 0001, 00001 or 00000 (0..5 zeros); the
    // first five forms give 3, 4, 5, 7, 11 plus 0, 0, 1, 2, 4 low bits.
    unsigned lengthZeros =
        std::countl_zero(uint32_t((bits << lowBits) >> 32) | 0x04000000u);
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

}  // namespace

bool DecompressBlock(uint8_t* dest, size_t destCapacity, const uint8_t* source,
                     size_t sourceSize, size_t* written) {
  if (sourceSize < 4) return false;
  DecoderState s{source + 4, source + sourceSize, dest, dest,
                 dest + destCapacity, LoadWord(source), 32};
  Stop stop = DecodeTokens<false>(s);
  if (stop == Stop::OutOfMargin) stop = DecodeTokens<true>(s);
  if (stop != Stop::End) return false;
  *written = size_t(s.out - dest);
  return true;
}
