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
// the eight bytes a match may look at.
constexpr size_t kOutputMargin = 2 * kLiteralUnit + kMaxLength + kMatchOverrun;
constexpr size_t kInputMargin = 2 * kLiteralUnit + kControlWordBytes + 8;

enum class Stop { OutOfMargin, End, Damaged };

// Whether the build's own instructions move 16 bytes in one register (every
// x86-64 does); the loops built for SSE2 do so on any x86.
#if defined(__SSE2__)
constexpr bool kWideBase = true;
#else
constexpr bool kWideBase = false;
#endif

// Moves `kBytes` bytes through registers: 16-byte ones when `kWide`,
// general ones otherwise. Each move is spelt out: a fixed-size memcpy may
// become a string instruction when the build optimises for size, which
// costs more than the few bytes it moves.
template <size_t kBytes, bool kWide>
[[gnu::always_inline]] inline void Move(uint8_t* to, const uint8_t* from) {
  if constexpr (kWide && kBytes >= 16) {
    typedef uint8_t Unit __attribute__((vector_size(16)));
#pragma GCC unroll 4
    for (size_t i = 0; i < kBytes; i += 16) {
      Unit unit;
      std::memcpy(&unit, from + i, 16);
      std::memcpy(to + i, &unit, 16);
    }
  } else {
#pragma GCC unroll 8
    for (size_t i = 0; i < kBytes; i += sizeof(size_t)) {
      size_t unit;
      std::memcpy(&unit, from + i, sizeof unit);
      std::memcpy(to + i, &unit, sizeof unit);
    }
  }
}

struct DecoderState {
  const uint8_t* in;
  const uint8_t* inEnd;
  uint8_t* out;
  uint8_t* outStart;
  uint8_t* outEnd;
  uint32_t word;  // unread bits of the control word at the top, zeros below
  unsigned left;  // unread bits in `word`
};

// Copies `length` bytes from `distance` back, with the result of a
// byte-at-a-time copy. May write up to 31 bytes past the match, which the caller
// guarantees are inside the destination.
template <bool kWide>
[[gnu::always_inline]] inline uint8_t* CopyMatchWide(uint8_t* out, size_t distance,
                                                     size_t length) {
  uint8_t* end = out + length;
  const uint8_t* from = out - distance;
  if (distance >= 16) {
    // Most matches are short: two 16-byte units cover them without a loop.
    Move<32, kWide>(out, from);
    for (out += 32, from += 32; out < end; out += 16, from += 16) Move<16, kWide>(out, from);
  } else if (distance >= 8) {
    Move<16, false>(out, from);
    for (out += 16, from += 16; out < end; out += 8, from += 8) Move<8, false>(out, from);
  } else {
    // The last `distance` bytes repeated to fill a unit, stored at every
    // whole multiple of the distance.
    static constexpr uint8_t kStep[8] = {0, 8, 8, 6, 8, 5, 6, 7};
    uint64_t unit = 0;
    for (size_t i = 0; i < distance; ++i) unit |= uint64_t(from[i]) << (8 * i);
    for (size_t have = distance; have < 8; have *= 2) unit |= unit << (8 * have);
    size_t step = kStep[distance];
    do {
      Move<8, false>(out, reinterpret_cast<const uint8_t*>(&unit));
      out += step;
    } while (out < end);
  }
  return end;
}

// The exact copy for the last bytes of the destination.
inline uint8_t* CopyMatchExact(uint8_t* out, size_t distance, size_t length) {
  const uint8_t* from = out - distance;
  if (distance >= 8) {
    for (; length >= 8; length -= 8, out += 8, from += 8) Move<8, false>(out, from);
  }
  while (length--) *out++ = *from++;
  return out;
}

// A match's head: the 0 that ends a literal run, the kind bit, then a short
// match's selector or a long match's distance prefix (1, 01, 001, 0001 or
// 0000). Looked up by the six bits from that 0 on (the first is always 0):
// the head's bits, the distance bits after the byte (the low ones), the two
// together and how far a 32-bit window is shifted to bring them down, and
// the distance base plus one. The fast loop runs short of registers and
// arithmetic units rather than of loads, so fields are looked up, not
// computed.
struct MatchHead {
  uint8_t bits;
  uint8_t lowBits;
  uint8_t headAndLow;
  uint8_t lowShift;
  uint16_t base;
  uint16_t lowMask;
};

struct HeadTable {
  MatchHead entry[32];
  constexpr HeadTable() : entry{} {
    for (unsigned i = 0; i < 32; ++i) {
      unsigned bits, lowBits, base;
      if (i & 16) {  // short: a byte below 256, a byte and 3 bits above
        bool selector = i & 8;
        bits = 3;
        lowBits = selector ? 3 : 0;
        base = selector ? 256 : 0;
      } else {  // long: the distance form whose prefix the four bits begin with
        const unsigned prefixes = i & 15;
        unsigned form = 0;
        while (prefixes >> (4 - kDistanceFields[form].prefixBits) !=
               kDistanceFields[form].prefix)
          ++form;
        const DistanceField f = kDistanceFields[form];
        bits = kLongKindBits + f.prefixBits;
        lowBits = f.lowBits;
        base = f.base;
      }
      entry[i] = {uint8_t(bits), uint8_t(lowBits), uint8_t(bits + lowBits),
                  uint8_t(32 - bits - lowBits), uint16_t(base + 1),
                  uint16_t((1u << lowBits) - 1)};
    }
  }
};
constexpr HeadTable kHeads;

// The length field looked up by its first 9 bits: the length (0: the byte
// form) and the bits taken.
struct LengthCode {
  uint8_t length;
  uint8_t bits;
};

struct LengthTable {
  LengthCode entry[512];
  constexpr LengthTable() : entry{} {
    for (unsigned i = 0; i < 512; ++i) entry[i] = {0, uint8_t(kLengthByteFormBits)};
    for (unsigned len = kMinLongLength; len < kLongLengthByteBase; ++len) {
      const LengthField field = kLengthFields[len];
      const unsigned first = unsigned(field.code) << (9 - field.bits);
      for (unsigned i = first; i < first + (512u >> field.bits); ++i) {
        entry[i] = {uint8_t(len), field.bits};
      }
    }
  }
};
constexpr LengthTable kLengths;

// Decodes tokens until the end code, a damaged token, or (unchecked form) the
// point where either buffer has less than its margin left. In the unchecked
// form nothing is compared against the buffer ends: the margins cover the
// largest step.
//
// Everything is done in 32-bit words, as the control words are, so that a
// 32-bit processor runs it as well as a 64-bit one. A match's bits come in
// two groups split by its distance byte, and reach at most one new control
// word. Where that word stands is known once the first group's size is:
// right after the byte when the group ends in the current word, before the
// byte when it runs past. The match is decoded from a 32-bit window: the
// unread bits of the word, then the new word's first bits.
template <bool Checked, bool kWide = kWideBase>
[[gnu::always_inline]] inline Stop DecodeTokens(DecoderState& s) {
  const uint8_t* in = s.in;
  uint8_t* out = s.out;
  uint32_t word = s.word;
  unsigned left = s.left;
  const uint8_t* const inEnd = s.inEnd;
  uint8_t* const outStart = s.outStart;
  uint8_t* const outEnd = s.outEnd;
  // The last places from which a step of the unchecked loop stays inside
  // both buffers; one comparison each per token.
  if (!Checked && (size_t(inEnd - in) < kInputMargin || size_t(outEnd - out) < kOutputMargin))
    return Stop::OutOfMargin;
  const uint8_t* const inLast = inEnd - (Checked ? 0 : kInputMargin);
  const uint8_t* const outLast = outEnd - (Checked ? 0 : kOutputMargin);

  // A run of literals: their flag bits are the leading ones of the word (the
  // bits below the unread ones are zero) and no control word can stand
  // between their bytes. They are copied as one unit, in two halves; where a
  // half takes four moves, the second only for a long run.
#define UPD_LITERALS(run)                                                     \
  do {                                                                        \
    run = unsigned(std::countl_one(word));                                    \
    if (Checked) {                                                            \
      if (size_t(inEnd - in) < run || size_t(outEnd - out) < run)             \
        return Stop::Damaged;                                                 \
      if (run != 0) std::memcpy(out, in, run); /* `out` may be null */        \
    } else {                                                                  \
      Move<16, kWide>(out, in);                                               \
      if (kWide || run > 16) Move<16, kWide>(out + 16, in + 16);              \
    }                                                                         \
    out += run;                                                               \
    in += run;                                                                \
  } while (0)

  for (;;) {
    if (!Checked && (in > inLast || out > outLast)) {
      s.in = in;
      s.out = out;
      s.word = word;
      s.left = left;
      return Stop::OutOfMargin;
    }
    unsigned run;
    UPD_LITERALS(run);
    if (run == left) {
      // The word ran out with the run: the next one stands right after it.
      if (Checked && inEnd - in < 4) return Stop::Damaged;
      word = LoadLe32(in);
      in += 4;
      left = 32;
      UPD_LITERALS(run);
      if (run == 32) {
        word = 0;
        left = 0;
        continue;
      }
    }
    word <<= run;
    left -= run;

    // A match: the 0 that ended the run, the kind bit, then a short match's
    // selector or a long match's distance prefix. Bytes past the source read
    // as zeros; a match that takes them is refused below.
    const size_t avail = size_t(inEnd - in);
    uint8_t tail[8] = {};
    const uint8_t* at = in;
    if (Checked && avail < 8) {
      for (size_t i = 0; i < avail; ++i) tail[i] = in[i];
      at = tail;
    }
    // The next word stands right after the byte. Only when the head itself
    // runs past the word (at most 6 bits) does it stand before the byte.
    // The head is looked up from the word alone where it can be: that
    // lookup is on the path from one token to the next.
    uint32_t head = word;
    uint32_t next = LoadLe32(at + 1);
    unsigned b = at[0];
    if (left < 6) {
      const uint32_t early = LoadLe32(at);
      head = word | early >> left;
      if (kHeads.entry[head >> 26].bits > left) {
        next = early;
        b = at[4];
      }
    }
    const MatchHead& h = kHeads.entry[head >> 26];
    // `left` is 1 to 32 here: the 0 that ended the run is unread.
    const uint32_t window = word | (next >> 1) >> (left - 1);
    size_t distance = h.base + (b << h.lowBits) +
                      ((window >> h.lowShift) & h.lowMask);
    const bool isShort = (head >> 30) & 1;
    size_t length = 2;
    unsigned used = h.headAndLow, lengthByte = 0;
    // The match's bits past this word, kept apart from `used` so that the
    // next word's shift waits for no subtraction.
    int over = int(h.headAndLow) - int(left);
    if (!isShort) {
      const LengthCode code = kLengths.entry[(window << used) >> 23];
      used += code.bits;
      over += code.bits;
      length = code.length;
      lengthByte = code.length == 0;
    }
    // The match takes its byte, the next word if its bits run past this
    // one, and the length byte after both.
    const bool cross = over > 0;
    const size_t take = 1 + 4 * size_t(cross);
    if (Checked && avail < take + lengthByte) return Stop::Damaged;
    if (isShort && distance == kEndCode + 1) {
      s.out = out;
      return Stop::End;
    }
    if (lengthByte) length = kLongLengthByteBase + at[take];
    word = cross ? next << over : word << used;
    left = (left - used) & 31;  // plus the new word's 32 bits when it crossed
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
      out = CopyMatchWide<kWide>(out, distance, length);
    }
  }
#undef UPD_LITERALS
}

using FastLoop = Stop (*)(DecoderState&);

Stop DecodeTokensPlain(DecoderState& s) { return DecodeTokens<false>(s); }

// Set by PrepareDecoder while no thread decodes; a constant until then, so
// no thread ever initialises it. The best loop is looked up once: cpuid is
// slow under a hypervisor, and tests switch loops often.
FastLoop gFastLoop = DecodeTokensPlain;
FastLoop gBestLoop = nullptr;

#if defined(__i386__) || defined(__x86_64__)
// The fast loop once more for processors with LZCNT (all of which have
// SSE2): counting the literal flags sits on the path from one token to the
// next, and the older instruction takes several times as long on some
// processors.
[[gnu::target("sse2,lzcnt")]] Stop DecodeTokensLzcnt(DecoderState& s) {
  return DecodeTokens<false, true>(s);
}
#if defined(__i386__)
// And for 32-bit processors with SSE2 but not LZCNT: literals and matches
// moved 16 bytes at a time instead of 4.
[[gnu::target("sse2")]] Stop DecodeTokensSse2(DecoderState& s) {
  return DecodeTokens<false, true>(s);
}
#endif

FastLoop BestFastLoop() {
  unsigned eax, ebx, ecx, edx;
  const bool sse2 = __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (edx & bit_SSE2);
  if (sse2 && __get_cpuid(0x80000001, &eax, &ebx, &ecx, &edx) && (ecx & bit_LZCNT))
    return DecodeTokensLzcnt;
#if defined(__i386__)
  if (sse2) return DecodeTokensSse2;
#endif
  return DecodeTokensPlain;
}
#else
FastLoop BestFastLoop() { return DecodeTokensPlain; }
#endif

// What the rest of the block can still give at most, from the bytes left
// and the control word under way: the bound that tells whether the bounded
// loop may finish the block in the room a piece has left.
size_t MostOutputLeft(const DecoderState& s) {
  return (size_t(s.inEnd - s.in) + kControlWordBytes) * kMaxBlockExpansion + kMaxLength;
}

}  // namespace

void PrepareDecoder(DecoderLoop loop) {
  if (loop == DecoderLoop::Baseline) {
    gFastLoop = DecodeTokensPlain;
    return;
  }
  if (!gBestLoop) gBestLoop = BestFastLoop();
  gFastLoop = gBestLoop;
}

bool BeginBlock(BlockReader* reader, const uint8_t* source, size_t sourceSize) {
  if (sourceSize < kControlWordBytes) return false;
  *reader = BlockReader{source + kControlWordBytes, source + sourceSize,
                        LoadLe32(source), kControlWordBits};
  return true;
}

PieceEnd DecodeBlockPiece(BlockReader* reader, uint8_t* out, size_t room,
                          size_t window, uint64_t expected, size_t* written) {
  // The piece may end short of the room only where the block goes on.
  const bool last = expected <= room;
  uint8_t* const outEnd = out + (last ? size_t(expected) : room);
  DecoderState s{reader->in, reader->inEnd, out, out - window, outEnd,
                 reader->word, reader->left};
  Stop stop = gFastLoop(s);
  if (stop == Stop::OutOfMargin) {
    // Out of room for the fast loop, or near the block's end: the bounded
    // loop finishes the block when what is left surely fits, and otherwise
    // the piece ends here and the next one goes on from this token.
    if (!last && size_t(outEnd - s.out) < MostOutputLeft(s)) {
      *reader = BlockReader{s.in, s.inEnd, s.word, s.left};
      *written = size_t(s.out - out);
      return PieceEnd::More;
    }
    stop = DecodeTokens<true>(s);
  }
  if (stop != Stop::End) return PieceEnd::Damaged;
  *written = size_t(s.out - out);
  return PieceEnd::End;
}

bool DecompressBlock(uint8_t* dest, size_t destCapacity, const uint8_t* source,
                     size_t sourceSize, size_t* written) {
  BlockReader reader;
  return BeginBlock(&reader, source, sourceSize) &&
         DecodeBlockPiece(&reader, dest, destCapacity, 0, destCapacity, written) ==
             PieceEnd::End;
}
