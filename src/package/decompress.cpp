// Block decoder: a fast loop that checks no bound while both buffers have a
// generous margin left, and the same loop with every bound checked for the
// last bytes of either buffer.
#include "package/decompress.h"

#include <bit>
#include <cstring>

namespace {

// Largest output of one step of the loop: a run of up to 32 literals, then a
// match of up to 282 bytes whose copy may run 7 bytes long. The input side: a
// control word, 32 literal bytes read as one unit, another control word and
// two byte fields.
constexpr size_t kOutputMargin = 32 + 282 + 8;
constexpr size_t kInputMargin = 4 + 32 + 4 + 2 + 6;

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

// Decodes tokens until the end code, a damaged token, or (unchecked form) the
// point where either buffer has less than its margin left. In the unchecked
// form nothing is compared against the buffer ends: the margins cover the
// largest step.
template <bool Checked>
Stop DecodeTokens(DecoderState& s) {
  const uint8_t* in = s.in;
  uint8_t* out = s.out;
  uint32_t word = s.word;
  unsigned left = s.left;
  const uint8_t* const inEnd = s.inEnd;
  uint8_t* const outStart = s.outStart;
  uint8_t* const outEnd = s.outEnd;

#define UPD_REFILL()                                                 \
  do {                                                               \
    if (left == 0) {                                                 \
      if (Checked && inEnd - in < 4) return Stop::Damaged;           \
      word = LoadWord(in);                                           \
      in += 4;                                                       \
      left = 32;                                                     \
    }                                                                \
  } while (0)
#define UPD_BIT(bit)          \
  do {                        \
    UPD_REFILL();             \
    (bit) = word >> 31;       \
    word <<= 1;               \
    --left;                   \
  } while (0)
  // Several bits at once when the word still holds them; otherwise one by
  // one, so a refill lands exactly where a single-bit reader would put it.
#define UPD_BITS(x, count)                                 \
  do {                                                     \
    if (left >= (count)) {                                 \
      (x) = word >> (32 - (count));                        \
      word <<= (count);                                    \
      left -= (count);                                     \
    } else {                                               \
      (x) = 0;                                             \
      for (unsigned i_ = 0; i_ < (count); ++i_) {          \
        unsigned b_;                                       \
        UPD_BIT(b_);                                       \
        (x) = (x) << 1 | b_;                               \
      }                                                    \
    }                                                      \
  } while (0)
#define UPD_BYTE(b)                                      \
  do {                                                   \
    if (Checked && in == inEnd) return Stop::Damaged;    \
    (b) = *in++;                                         \
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
    UPD_REFILL();
    // A run of literals: their flag bits are the leading ones of the word and
    // no control word can stand between their bytes.
    unsigned run = std::countl_one(word);
    if (run != 0) {
      if (Checked) {
        if (size_t(inEnd - in) < run) return Stop::Damaged;
        if (size_t(outEnd - out) < run) return Stop::Damaged;
        std::memcpy(out, in, run);
      } else {
        std::memcpy(out, in, 32);
      }
      out += run;
      in += run;
      left -= run;
      word = run < 32 ? word << run : 0;
      if (left == 0) continue;
    }
    // The next bit is the 0 that opens a match.
    word <<= 1;
    --left;
    unsigned kind;
    UPD_BIT(kind);
    size_t distance;
    size_t length;
    if (kind) {
      unsigned selector, b;
      UPD_BIT(selector);
      UPD_BYTE(b);
      unsigned value = b;
      if (selector) {
        unsigned x;
        UPD_BITS(x, 3u);
        value = 256 + 8 * b + x;
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

    // Long match: distance prefix, its byte, its low bits.
    unsigned prefix = 0, bit;
    for (;;) {
      UPD_BIT(bit);
      if (bit || prefix == 3) break;
      ++prefix;
    }
    // prefix 0..3 with a closing 1 bit, or four zeros (prefix 3, bit 0).
    unsigned b, x;
    UPD_BYTE(b);
    unsigned value;
    switch (prefix) {
      case 0: UPD_BITS(x, 1u); value = 2 * b + x; break;
      case 1: UPD_BITS(x, 1u); value = 512 + 2 * b + x; break;
      case 2: UPD_BITS(x, 2u); value = 1024 + 4 * b + x; break;
      default:
        if (bit) {
          UPD_BITS(x, 3u);
          value = 2048 + 8 * b + x;
        } else {
          UPD_BITS(x, 4u);
          value = 4096 + 16 * b + x;
        }
        break;
    }
    distance = value + 1;

    unsigned zeros = 0;
    for (;;) {
      UPD_BIT(bit);
      if (bit || zeros == 4) break;
      ++zeros;
    }
    switch (zeros) {
      case 0: length = 3; break;
      case 1: length = 4; break;
      case 2: UPD_BITS(x, 1u); length = 5 + x; break;
      case 3: UPD_BITS(x, 2u); length = 7 + x; break;
      default:
        if (bit) {
          UPD_BITS(x, 4u);
          length = 11 + x;
        } else {
          UPD_BYTE(b);
          length = 27 + b;
        }
        break;
    }

    if (distance > size_t(out - outStart)) return Stop::Damaged;
    if (Checked) {
      if (size_t(outEnd - out) < length) return Stop::Damaged;
      out = CopyMatchExact(out, distance, length);
    } else {
      out = CopyMatchWide(out, distance, length);
    }
  }
#undef UPD_BYTE
#undef UPD_BITS
#undef UPD_BIT
#undef UPD_REFILL
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
