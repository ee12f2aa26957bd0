// Little-endian fields, read and written byte by byte so that the code is
// right on any host and never casts a pointer into foreign bytes. The
// compiler makes each load one instruction on x86, but only where it is
// inlined, which a build for size does not always do by itself.
#pragma once
#include <cstdint>

[[gnu::always_inline]] constexpr uint16_t LoadLe16(const uint8_t* p) {
  return uint16_t(p[0] | p[1] << 8);
}
[[gnu::always_inline]] constexpr uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
         uint32_t(p[3]) << 24;
}
[[gnu::always_inline]] constexpr uint64_t LoadLe64(const uint8_t* p) {
  return uint64_t(LoadLe32(p)) | uint64_t(LoadLe32(p + 4)) << 32;
}

constexpr void StoreLe16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
constexpr void StoreLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
constexpr void StoreLe64(uint8_t* p, uint64_t v) {
  StoreLe32(p, uint32_t(v));
  StoreLe32(p + 4, uint32_t(v >> 32));
}
