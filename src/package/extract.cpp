#include "package/extract.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/state.h"
#include "package/decode_ahead.h"
#include "package/decompress.h"
#include "package/package.h"
#include "platform/platform.h"

namespace {

// False after showing the disk-space message. A volume whose free space
// cannot be read counts as having room: the write then reports for itself.
bool CheckRoom(const char* target, uint32_t size) {
  char root[kPathSize];
  VolumeRootOf(target, root);
  uint64_t freeBytes = 0;
  uint64_t totalBytes = 0;
  if (!QueryDiskSpace(root, &freeBytes, &totalBytes, nullptr)) return true;
  if (size <= freeBytes) return true;
  const uint64_t shortfall = size - freeBytes;
  char message[kMessageSize];
  std::snprintf(message, sizeof message,
                "ディスク容量が足りません。%s ドライブに %i バイトの空き容量が必要です",
                root, static_cast<int>(static_cast<uint32_t>(shortfall)));
  ShowUpdaterError(message);
  return false;
}

// Writes the entry's bytes to the target unless the target is a folder or
// the newer-only rule spares it.
int PlaceEntry(const char* target, const PackageEntry& entry,
               const uint8_t* data, int newerOnly) {
  unsigned attributes = 0;
  const bool exists = PlatGetAttributes(target, &attributes);
  if (exists && (attributes & kPlatAttrFolder)) return 0;
  // Made writable before the newer-only rule looks, so a spared file keeps
  // normal attributes as well.
  if (exists && (attributes & kPlatAttrReadOnly)) {
    PlatSetNormalAttributes(target);
  }
  uint64_t existingTime = 0;
  if (newerOnly && exists && PlatReadLastWriteTime(target, &existingTime) &&
      existingTime > entry.LastWriteTime) {
    return 1;
  }
  return WriteWholeFile(target, data, entry.FileSize, &entry.LastWriteTime);
}

// Places the entry from its stored bytes, decoded first when they are
// compressed, unless they were decoded ahead.
int PlaceStoredEntry(const char* target, const char* name,
                     const PackageEntry& entry, const uint8_t* data,
                     int newerOnly) {
  if ((entry.Flags & kEntryFlagCompressed) == 0) {
    return PlaceEntry(target, entry, data, newerOnly);
  }
  uint8_t* unpacked = TakeDecodedEntry(name);
  if (unpacked == nullptr) {
    unpacked = static_cast<uint8_t*>(std::malloc(entry.FileSize ? entry.FileSize : 1));
    if (unpacked == nullptr) {
      ShowUpdaterError("Can't Allocate Memory !!");
      return 0;
    }
    // A damaged block, or one that decodes to another size than the entry
    // claims, is not written: the caller reports it as a failed write.
    size_t written = 0;
    if (!DecompressBlock(unpacked, entry.FileSize, data, entry.StoredSize,
                         &written) ||
        written != entry.FileSize) {
      std::free(unpacked);
      return 0;
    }
  }
  const int result = PlaceEntry(target, entry, unpacked, newerOnly);
  std::free(unpacked);
  return result;
}

}  // namespace

int ExtractEntry(const char* target, const char* name, int newerOnly) {
  PackageEntry entry;
  uint32_t dataOffset = 0;
  if (OpenDirectory == nullptr ||
      !FindPackageEntry(OpenDirectory, name, &entry, &dataOffset)) {
    ShowUpdaterError("Can't Find File in Resource !!");
    return 0;
  }
  // A path that long cannot be written: the caller reports a failed write.
  if (std::strlen(target) >= kPathSize) return 0;
  if (!CheckRoom(target, entry.FileSize)) return 0;

  const uint8_t* data = PackageImage + dataOffset;
  const int result = PlaceStoredEntry(target, name, entry, data, newerOnly);
  // Written or not, these bytes are not wanted again soon.
  PlatReleasePackageBytes(data, entry.StoredSize);
  return result;
}

int WriteWholeFile(const char* path, const void* data, uint32_t size,
                   const uint64_t* fileTime) {
  return PlatWriteWholeFile(path, data, size, fileTime) ? 1 : 0;
}

uint8_t* ReadWholeFile(const char* path, uint32_t* size) {
  return PlatReadWholeFile(path, size);
}

int QueryDiskSpace(const char* root, uint64_t* freeForCaller, uint64_t* total,
                   uint64_t* totalFree) {
  return PlatQueryDiskSpace(root, freeForCaller, total, totalFree) ? 1 : 0;
}
