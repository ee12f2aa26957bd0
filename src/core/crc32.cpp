// CRC-32 by slicing-by-16.
#include "core/crc32.h"

#include "core/le.h"

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
}

uint32_t Crc32(const Crc32Table& table, uint32_t crc, const uint8_t* data,
               size_t size) {
  const uint32_t (*t)[256] = table.slice;
  crc = ~crc;
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
  return ~crc;
}
