// Telling which old version an installed file is, by its size and CRC-32.
#include "package/patch_target.h"

#include <cstdlib>

#include "core/patch_entry.h"
#include "platform/platform.h"

Crc32Table RunCrcTable;

namespace {

constexpr uint32_t kCrcPiece = 1024 * 1024;

// The CRC-32 of the file's `size` bytes, read a piece at a time.
bool ReaderCrc(PlatFileReader file, uint32_t size, uint32_t* crc) {
  auto* buffer = static_cast<uint8_t*>(std::malloc(kCrcPiece));
  if (buffer == nullptr) return false;
  uint32_t sum = 0;
  bool read = true;
  for (uint32_t offset = 0; read && offset < size; offset += kCrcPiece) {
    const uint32_t piece = size - offset < kCrcPiece ? size - offset : kCrcPiece;
    read = PlatReadFileAt(file, offset, buffer, piece);
    if (read) sum = Crc32(RunCrcTable, sum, buffer, piece);
  }
  std::free(buffer);
  *crc = sum;
  return read;
}

}  // namespace

TargetMatch MatchTarget(const char* target, const PackageEntry& entry,
                        const uint8_t* data, uint32_t* version) {
  PatchEntryInfo info;
  if (!ReadPatchEntry(data, entry.StoredSize, entry.FileSize, &info)) {
    return TargetMatch::Damaged;
  }
  const TargetMatch otherwise = info.FallbackFlags ? TargetMatch::Whole : TargetMatch::Mismatch;
  uint32_t size = 0;
  PlatFileReader file = PlatOpenFileReader(target, &size);
  if (file == nullptr) return otherwise;

  // Only a file of a size the entry knows is worth reading through.
  uint32_t crc = 0;
  const bool summed = PatchKnowsSize(data, info, entry.FileSize, size) &&
                      ReaderCrc(file, size, &crc);
  PlatCloseFileReader(file);
  if (!summed) return otherwise;

  const int32_t found = PatchVersionOf(data, info, entry.FileSize, size, crc);
  if (found == kPatchIsResult) return TargetMatch::Done;
  if (found == kPatchNoVersion) return otherwise;
  *version = uint32_t(found);
  return TargetMatch::Version;
}
