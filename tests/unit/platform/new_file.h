// A whole file written through the platform's new-file calls, in two
// pieces, as the updater writes its entries.
#pragma once
#include <cstdint>

#include "platform/platform.h"

inline bool WriteInPieces(const char* path, const void* data, uint32_t size,
                          const uint64_t* fileTime) {
  PlatNewFile file = PlatBeginFile(path);
  if (!file) return false;
  const auto* bytes = static_cast<const uint8_t*>(data);
  const uint32_t half = size / 2;
  if (!PlatAppendFile(file, bytes, half) ||
      !PlatAppendFile(file, bytes + half, size - half)) {
    PlatAbandonFile(file);
    return false;
  }
  return PlatCommitFile(file, fileTime);
}
