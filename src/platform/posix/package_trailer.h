// The trailer that marks a package appended to the native updater: the
// executable's bytes, then the package, then 16 bytes:
//   offset 0: the package size, unsigned 64-bit little-endian;
//   offset 8: the magic "UPDPKG\r\n" (8 bytes).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/le.h"

constexpr size_t kPackageTrailerSize = 16;
constexpr char kPackageTrailerMagic[8] = {'U', 'P', 'D', 'P', 'K', 'G', '\r', '\n'};

inline void EncodePackageTrailer(uint64_t packageSize, uint8_t (&trailer)[kPackageTrailerSize]) {
  StoreLe64(trailer, packageSize);
  std::memcpy(trailer + 8, kPackageTrailerMagic, sizeof kPackageTrailerMagic);
}

// The package size a trailer gives, or false when `trailer` is none or does
// not fit a file of `fileSize` bytes.
inline bool DecodePackageTrailer(const uint8_t* trailer, uint64_t fileSize, uint64_t* packageSize) {
  if (fileSize < kPackageTrailerSize ||
      std::memcmp(trailer + 8, kPackageTrailerMagic, sizeof kPackageTrailerMagic) != 0)
    return false;
  const uint64_t size = LoadLe64(trailer);
  if (size > fileSize - kPackageTrailerSize) return false;
  *packageSize = size;
  return true;
}
