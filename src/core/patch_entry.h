// A patch entry: a package entry that carries, instead of the file, patches
// from the old versions a player may have, and maybe the whole file too.
//
// Its directory record has kEntryFlagPatch (and no other flag), FileSize is
// the result's size and StoredSize the length of the data below. The data,
// every field little-endian:
//   0   u32  the result's CRC-32
//   4   u32  version count n, 1 to kMaxPatchVersions
//   8   u32  the fallback's kind: 0 none, else kEntryFlagStored or
//            kEntryFlagCompressed (the whole file, as a plain entry holds it)
//   12  u32  the fallback's stored size (0 without one)
//   16  n x 12 bytes, one per old version: its size, its CRC-32, its
//            patch's size
//   then the n patches (core/patch_format.h) back to back, then the
//   fallback's bytes; these end exactly at StoredSize.
#pragma once
#include <cstdint>

#include "core/le.h"
#include "core/package_format.h"

constexpr uint32_t kEntryFlagPatch = 4;
constexpr uint32_t kPatchEntryHeaderSize = 16;
constexpr uint32_t kPatchVersionSize = 12;
constexpr uint32_t kMaxPatchVersions = 256;

struct PatchVersion {
  uint32_t OldSize;
  uint32_t OldCrc;
  uint32_t PatchOffset;  // from the entry data's start
  uint32_t PatchSize;
};

// What the header says, once its sizes are known to add up.
struct PatchEntryInfo {
  uint32_t ResultCrc;
  uint32_t VersionCount;
  uint32_t FallbackFlags;  // 0, kEntryFlagStored or kEntryFlagCompressed
  uint32_t FallbackOffset;
  uint32_t FallbackSize;
};

inline bool IsPatchEntry(const PackageEntry& entry) {
  return (entry.Flags & kEntryFlagPatch) != 0;
}

// Reads the header of a patch entry's `size` bytes of data for a result of
// `resultSize` bytes. False when it is damaged: too short, a count out of
// range, an unknown fallback kind, a stored fallback of another size than
// the result, or parts that do not end exactly at `size`.
inline bool ReadPatchEntry(const uint8_t* data, uint32_t size,
                           uint32_t resultSize, PatchEntryInfo* info) {
  if (size < kPatchEntryHeaderSize) return false;
  info->ResultCrc = LoadLe32(data);
  info->VersionCount = LoadLe32(data + 4);
  info->FallbackFlags = LoadLe32(data + 8);
  info->FallbackSize = LoadLe32(data + 12);
  if (info->VersionCount == 0 || info->VersionCount > kMaxPatchVersions) return false;
  switch (info->FallbackFlags) {
    case 0:
      if (info->FallbackSize != 0) return false;
      break;
    case kEntryFlagStored:
      if (info->FallbackSize != resultSize) return false;
      break;
    case kEntryFlagCompressed:
      break;
    default:
      return false;
  }
  // 64 bits: no sum of 32-bit sizes can wrap.
  uint64_t end = kPatchEntryHeaderSize + uint64_t{kPatchVersionSize} * info->VersionCount;
  if (end > size) return false;
  for (uint32_t i = 0; i < info->VersionCount; ++i) {
    end += LoadLe32(data + kPatchEntryHeaderSize + i * kPatchVersionSize + 8);
  }
  info->FallbackOffset = static_cast<uint32_t>(end < size ? end : size);
  return end + info->FallbackSize == size;
}

// Old version `index` of an entry whose header ReadPatchEntry accepted.
inline PatchVersion ReadPatchVersion(const uint8_t* data, const PatchEntryInfo& info,
                                     uint32_t index) {
  uint32_t offset = kPatchEntryHeaderSize + kPatchVersionSize * info.VersionCount;
  for (uint32_t i = 0; i < index; ++i) {
    offset += LoadLe32(data + kPatchEntryHeaderSize + i * kPatchVersionSize + 8);
  }
  const uint8_t* record = data + kPatchEntryHeaderSize + index * kPatchVersionSize;
  return PatchVersion{LoadLe32(record), LoadLe32(record + 4), offset, LoadLe32(record + 8)};
}

// Whether a file of `size` bytes may be the result or an old version, and
// so is worth summing.
inline bool PatchKnowsSize(const uint8_t* data, const PatchEntryInfo& info,
                           uint32_t resultSize, uint32_t size) {
  bool known = size == resultSize;
  for (uint32_t i = 0; i < info.VersionCount && !known; ++i) {
    known = ReadPatchVersion(data, info, i).OldSize == size;
  }
  return known;
}

// What a file of `size` bytes and CRC-32 `crc` is to the entry: the result
// already, the old version of that index, or none it knows.
constexpr int32_t kPatchIsResult = -1;
constexpr int32_t kPatchNoVersion = -2;
inline int32_t PatchVersionOf(const uint8_t* data, const PatchEntryInfo& info,
                              uint32_t resultSize, uint32_t size, uint32_t crc) {
  if (size == resultSize && crc == info.ResultCrc) return kPatchIsResult;
  for (uint32_t i = 0; i < info.VersionCount; ++i) {
    const PatchVersion old = ReadPatchVersion(data, info, i);
    if (old.OldSize == size && old.OldCrc == crc) return int32_t(i);
  }
  return kPatchNoVersion;
}

// The fallback as the plain entry it would be, for the usual readers.
inline PackageEntry FallbackEntry(const PackageEntry& entry, const PatchEntryInfo& info) {
  PackageEntry whole = entry;
  whole.Flags = info.FallbackFlags;
  whole.StoredSize = info.FallbackSize;
  return whole;
}
