// CRC-32 by slicing-by-16, and by carry-less multiplication where the
// processor has it.
#include "core/crc32.h"

#include "core/crc32_paths.h"
#include "core/le.h"

#if UPD_CRC32_FOLDING
#include <cpuid.h>
#include <emmintrin.h>
#include <wmmintrin.h>
#endif

namespace {

// The register as it runs, inverted at neither end, so that the folding
// path can finish its last lane and the tail with it.
uint32_t Slice(const uint32_t (*t)[256], uint32_t crc, const uint8_t* data,
               size_t size) {
  // Sixteen bytes a step; each byte picks its table by its distance from the
  // step's end, so the bytes are read one by one with no alignment to care for.
  for (size_t blocks = size / 16; blocks != 0; --blocks, data += 16) {
    const uint32_t a = crc ^ LoadLe32(data);
    crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^
          t[12][a >> 24] ^ t[11][data[4]] ^ t[10][data[5]] ^ t[9][data[6]] ^
          t[8][data[7]] ^ t[7][data[8]] ^ t[6][data[9]] ^ t[5][data[10]] ^
          t[4][data[11]] ^ t[3][data[12]] ^ t[2][data[13]] ^ t[1][data[14]] ^
          t[0][data[15]];
  }
  for (size_t rest = size % 16; rest != 0; --rest) {
    crc = (crc >> 8) ^ t[0][(crc ^ *data++) & 0xFF];
  }
  return crc;
}

#if UPD_CRC32_FOLDING
bool CanFold() {
  unsigned eax, ebx, ecx, edx;
  return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_PCLMUL) &&
         (edx & bit_SSE2);
}

// x^n mod P in the register's bit order (bit 31 is x^0): n steps of the
// bit-by-bit CRC, each a multiplication by x.
constexpr uint32_t XPowMod(unsigned n) {
  uint32_t r = 0x80000000u;
  for (; n != 0; --n) r = (r >> 1) ^ (0xEDB88320u & (0u - (r & 1)));
  return r;
}

// A lane's 128 bits (bit 0 the highest power, x^127) moved `bits` further
// on: its low quadword times x^(bits + 64) plus its high one times x^bits,
// each power replaced by its remainder. A remainder goes in the top half of
// its quadword, one power short, so that the 64x64 product lands in the
// lane's own bit order (product bit i + j is x^(127 - i - j)).
struct FoldFactors {
  uint64_t low, high;
};
constexpr FoldFactors FactorsFor(unsigned bits) {
  return {uint64_t{XPowMod(bits + 63)} << 32, uint64_t{XPowMod(bits - 1)} << 32};
}
constexpr FoldFactors kByOneLane = FactorsFor(128);
constexpr FoldFactors kByFourLanes = FactorsFor(512);

[[gnu::target("pclmul")]] inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

[[gnu::target("pclmul")]] inline __m128i Factors(FoldFactors f) {
  return _mm_set_epi64x(int64_t(f.high), int64_t(f.low));
}

[[gnu::target("pclmul")]] inline __m128i Fold(__m128i lane, __m128i factors,
                                              __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(lane, factors, 0x00);
  const __m128i high = _mm_clmulepi64_si128(lane, factors, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}
#endif

}  // namespace

void BuildCrc32Table(Crc32Table* table) {
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    table->slice[0][i] = crc;
  }
  // slice[k][i]: the CRC of byte i followed by k zero bytes.
  for (int k = 1; k < 16; ++k) {
    for (uint32_t i = 0; i < 256; ++i) {
      const uint32_t prev = table->slice[k - 1][i];
      table->slice[k][i] = (prev >> 8) ^ table->slice[0][prev & 0xFF];
    }
  }
#if UPD_CRC32_FOLDING
  table->folding = CanFold();
#else
  table->folding = false;
#endif
}

uint32_t Crc32BySlicing(const Crc32Table& table, uint32_t crc,
                        const uint8_t* data, size_t size) {
  return ~Slice(table.slice, ~crc, data, size);
}

#if UPD_CRC32_FOLDING
// 32-bit Windows starts threads, and may call us, with the stack only 4-byte
// aligned; lanes the compiler spills need 16.
#if defined(__i386__)
[[gnu::force_align_arg_pointer]]
#endif
[[gnu::target("pclmul")]] uint32_t Crc32ByFolding(const Crc32Table& table,
                                                  uint32_t crc,
                                                  const uint8_t* data,
                                                  size_t size) {
  crc = ~crc;
  if (size >= 64) {
    // Four lanes in flight, each 64 bytes on per step, so that the
    // multiplications overlap; the register enters as the first four bytes.
    __m128i a = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(int(crc)));
    __m128i b = Load(data + 16), c = Load(data + 32), d = Load(data + 48);
    data += 64;
    size -= 64;
    const __m128i byFour = Factors(kByFourLanes);
    for (; size >= 64; data += 64, size -= 64) {
      a = Fold(a, byFour, Load(data));
      b = Fold(b, byFour, Load(data + 16));
      c = Fold(c, byFour, Load(data + 32));
      d = Fold(d, byFour, Load(data + 48));
    }
    const __m128i byOne = Factors(kByOneLane);
    __m128i lane = Fold(Fold(Fold(a, byOne, b), byOne, c), byOne, d);
    for (; size >= 16; data += 16, size -= 16) lane = Fold(lane, byOne, Load(data));
    // The last lane is congruent to all the bytes so far: its own CRC from a
    // zero register is theirs.
    uint8_t last[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(last), lane);
    crc = Slice(table.slice, 0, last, 16);
  }
  return ~Slice(table.slice, crc, data, size);
}
#endif

uint32_t Crc32(const Crc32Table& table, uint32_t crc, const uint8_t* data,
               size_t size) {
#if UPD_CRC32_FOLDING
  if (table.folding) return Crc32ByFolding(table, crc, data, size);
#endif
  return Crc32BySlicing(table, crc, data, size);
}
