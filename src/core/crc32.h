// CRC-32, the usual one (polynomial 0xEDB88320 reflected, start and end
// inverted), the one zlib's crc32 gives: slicing by 16 bytes, or on x86
// processors that multiply without carries, folding 16-byte lanes.
#pragma once
#include <cstddef>
#include <cstdint>

// Slicing-by-16 tables: 16 KiB that a program keeps in zeroed memory and
// fills once, so that they cost no bytes in the executable. The way to sum
// is chosen when they are filled, so a table says how it is used.
struct Crc32Table {
  uint32_t slice[16][256];
  bool folding;
};

void BuildCrc32Table(Crc32Table* table);

// Continues `crc` (0 to start, as zlib's crc32) over `size` bytes.
uint32_t Crc32(const Crc32Table& table, uint32_t crc, const uint8_t* data,
               size_t size);
