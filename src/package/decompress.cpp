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
// side: two literal runs read as units, the control word between them, and
// the eight bytes a match reads at once.
constexpr size_t kOutputMargin = 2 * kLiteralUnit + kMaxLength + kMatchOverrun;
constexpr size_t kInputMargin = 2 * kLiteralUnit + kControlWordBytes + 8;

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

// Leading zeros of the top `limit` bits of `bits`, at most `limit`.
inline unsigned LeadingZeros(uint64_t bits, unsigned limit) {
  return unsigned(std::countl_zero(bits | uint64_t(1) << (63 - limit)));
}

// `n` bits (0 to 32) at the top of `bits`.
inline uint32_t Top(uint64_t bits, unsigned n) { return uint32_t((bits >> 32) >> (32 - n)); }

// Decodes tokens until the end code, a damaged token, or (unchecked form) the
// point where either buffer has less than its margin left. In the unchecked
// form nothing is compared against the buffer ends: the margins cover the
// largest step.
//
// A match's bits come in two groups split by its distance byte, and reach
// at most one new control word. Where that word stands is known once the
// first group's size is: right after the byte when the group ends in the
// current word, before the byte when it runs past. So one load of eight
// bytes at the read position holds the word, the byte and a length byte
// wherever they stand, and the match is decoded from one look-ahead, with
// no more loads on the path from one token to the next.
template <bool Checked>
[[gnu::always_inline]] inline Stop DecodeTokens(DecoderState& s) {
  const uint8_t* in = s.in;
  uint8_t* out = s.out;
  uint64_t word = s.word;
  unsigned left = s.left;
  const uint8_t* const inEnd = s.inEnd;
  uint8_t* const outStart = s.outStart;
  uint8_t* const outEnd = s.outEnd;

  // A run of literals: their flag bits are the leading ones of the word (the
  // bits below the unread ones are zero) and no control word can stand
  // between their bytes.
#define UPD_LITERALS()                                                        \
  do {                                                                        \
    unsigned run_ = unsigned(std::countl_one(word));                          \
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

    // A match: the 0 that ended the run, the kind bit, then a short match's
    // selector or a long match's distance prefix. Bytes past the source read
    // as zeros; a match that takes them is refused below.
    size_t avail = size_t(inEnd - in);
    uint64_t raw = 0;
    if (Checked && avail < 8) {
      for (size_t i = avail; i-- > 0;) raw = raw << 8 | in[i];
    } else {
      raw = LoadLe64(in);
    }
    // The two look-aheads: the next word right here, or right after the byte.
    uint64_t here = word | uint64_t(uint32_t(raw)) << (32 - left);
    uint64_t afterByte = word | uint64_t(uint32_t(raw >> 8)) << (32 - left);
    // The bits before the byte are at most 6: while the word holds that
    // many, decoding them waits for no load.
    uint64_t head = left >= 6 ? word : here;
    bool isShort = (head >> 62) & 1;
    // Tables of 4-bit entries by the count z of a long match's prefix zeros
    // (0..4): the bits before the byte (with the 0 and the kind bit), the
    // distance's low bits after it, and the two together.
    unsigned zeros = LeadingZeros(head << 2, 4);
    unsigned headBits = isShort ? 3 : (0x66543u >> (4 * zeros)) & 15;
    bool inWord = headBits <= left;
    uint64_t bits = inWord ? afterByte : here;
    unsigned b = unsigned(inWord ? raw : raw >> 32) & 255;
    size_t distance, length;
    unsigned used, lengthByte = 0;
    if (isShort) {
      unsigned selector = (head >> 61) & 1;
      distance = (selector ? 256 + 8 * b + Top(bits << 3, 3) : b) + 1;
      length = 2;
      used = 3 + 3 * selector;
    } else {
      unsigned lowBits = (0x43211u >> (4 * zeros)) & 15;
      unsigned headAndLow = (0xA9754u >> (4 * zeros)) & 15;
      distance = ((256u << zeros) & ~511u) + (b << lowBits) +
                 Top(bits << headBits, lowBits) + 1;
      // Length prefix: 1, 01, 001, 0001, 00001 or 00000 (0..5 zeros). By
      // the count: the field's bits, its low bits (4 bits each) and its
      // base (8 bits each); the last form is followed by a byte.
      uint64_t code = bits << headAndLow;
      unsigned lengthZeros = LeadingZeros(code, 5);
      used = headAndLow + ((0x596421u >> (4 * lengthZeros)) & 15);
      unsigned extra = (0x042100u >> (4 * lengthZeros)) & 15;
      length = ((0x1B0B07050403ull >> (8 * lengthZeros)) & 255) +
               Top(code << (lengthZeros + 1), extra);
      lengthByte = lengthZeros == 5;
    }
    // The match takes its byte, the next word if its bits run past this
    // one, and the length byte after both.
    bool cross = used > left;
    size_t take = 1 + 4 * size_t(cross);
    if (Checked && avail < take + lengthByte) return Stop::Damaged;
    if (isShort && distance == kEndCode + 1) {
      s.out = out;
      return Stop::End;
    }
    if (lengthByte) length = kLongLengthByteBase + (unsigned(raw >> (8 * take)) & 255);
    // Past a new word the look-ahead holds nothing else; within the word
    // only its own bits may stay, as the next word's place is not yet known.
    word = cross ? bits << used : word << used;
    left = left + 32 * unsigned(cross) - used;
    in += take + lengthByte;

    if (distance > size_t(out - outStart)) return Stop::Damaged;
    if (Checked) {
      if (size_t(outEnd - out) < length) return Stop::Damaged;
      out = CopyMatchExact(out, distance, length);
    } else if (isShort) {
      // Two bytes, each read after the one before it is written: the
      // distance may be 1.
      const uint8_t* from = out - distance;
      out[0] = from[0];
      out[1] = from[1];
      out += 2;
    } else {
      out = CopyMatchWide(out, distance, length);
    }
  }
#undef UPD_LITERALS
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
