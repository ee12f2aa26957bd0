// The two ways Crc32 sums, each callable on its own so that the tests check
// both, whichever the processor is given.
#pragma once
#include "core/crc32.h"

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#define UPD_CRC32_FOLDING 1
#else
#define UPD_CRC32_FOLDING 0
#endif

uint32_t Crc32BySlicing(const Crc32Table& table, uint32_t crc,
                        const uint8_t* data, size_t size);

#if UPD_CRC32_FOLDING
// Only where BuildCrc32Table set `folding`: it needs PCLMULQDQ and SSE2.
uint32_t Crc32ByFolding(const Crc32Table& table, uint32_t crc,
                        const uint8_t* data, size_t size);
#endif
