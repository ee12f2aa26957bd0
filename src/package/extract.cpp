#include "package/extract.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/state.h"
#include "package/decode_ahead.h"
#include "package/decompress.h"
#include "package/package.h"
#include "package/piece_decoder.h"
#include "platform/platform.h"

namespace {

// False after showing the disk-space message.
bool CheckRoom(const char* target, uint32_t size) {
  char root[kPathSize];
  const uint64_t shortfall = DiskShortfall(target, size, root);
  if (shortfall == 0) return true;
  char message[kMessageSize];
  std::snprintf(message, sizeof message,
                "ディスク容量が足りません。%s ドライブに %i バイトの空き容量が必要です",
                root, static_cast<int>(static_cast<uint32_t>(shortfall)));
  ShowUpdaterError(message);
  return false;
}

uint64_t gExtractedBytes;  // under PlatLock: read by the progress display

// Appends `size` bytes in pieces, counting them as they go; stored bytes of
// the package are let go once written.
bool AppendInPieces(PlatNewFile file, const uint8_t* bytes, size_t size,
                    bool fromPackage) {
  while (size != 0) {
    const uint32_t piece = uint32_t(size < kPieceSize ? size : kPieceSize);
    if (!PlatAppendFile(file, bytes, piece)) return false;
    if (fromPackage) PlatReleasePackageBytes(bytes, piece);
    PlatLock();
    gExtractedBytes += piece;
    PlatUnlock();
    bytes += piece;
    size -= piece;
  }
  return true;
}

// Writes a new file through `fill` and puts it in the place of `path`; on
// any failure the file at `path` stays as it was.
template <class Fill>
bool WriteNewFile(const char* path, const uint64_t* fileTime, Fill fill) {
  PlatNewFile file = PlatBeginFile(path);
  if (!file) return false;
  if (!fill(file)) {
    PlatAbandonFile(file);
    return false;
  }
  return PlatCommitFile(file, fileTime);
}

// An entry's bytes: where they lie in the package, decoded whole, or
// decoded piece by piece as they are written.
struct EntrySource {
  const uint8_t* whole;  // null for pieces
  uint8_t* owned;        // decoded bytes to free
  size_t size;
  PieceDecoder pieces;
};

enum class Source { Ready, NoMemory, Damaged };

Source OpenSource(EntrySource* source, const char* name,
                  const PackageEntry& entry, const uint8_t* data) {
  *source = EntrySource{data, nullptr, entry.FileSize, {}};
  if ((entry.Flags & kEntryFlagCompressed) == 0) return Source::Ready;
  source->owned = TakeDecodedEntry(name);
  if (source->owned != nullptr) {
    source->whole = source->owned;
    return Source::Ready;
  }
  if (entry.FileSize > kPieceSize) {
    source->whole = nullptr;
    return OpenPieces(&source->pieces, entry, data) ? Source::Ready : Source::NoMemory;
  }
  source->owned = static_cast<uint8_t*>(std::malloc(entry.FileSize ? entry.FileSize : 1));
  source->whole = source->owned;
  if (source->owned == nullptr) return Source::NoMemory;
  // A damaged block, or one that decodes to another size than the entry
  // claims, is not written: the caller reports it as a failed write.
  size_t written = 0;
  if (!DecompressBlock(source->owned, entry.FileSize, data, entry.StoredSize, &written) ||
      written != entry.FileSize) {
    return Source::Damaged;
  }
  return Source::Ready;
}

bool FillFrom(EntrySource* source, PlatNewFile file) {
  if (source->whole) {
    return AppendInPieces(file, source->whole, source->size, source->owned == nullptr);
  }
  for (;;) {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    const PieceEnd end = NextPiece(&source->pieces, &bytes, &size);
    if (end == PieceEnd::Damaged || !AppendInPieces(file, bytes, size, false)) return false;
    if (end == PieceEnd::End) return true;
  }
}

void CloseSource(EntrySource* source) {
  if (source->whole == nullptr) ClosePieces(&source->pieces);
  std::free(source->owned);
}

// Writes the entry to the target unless the target is a folder or the
// newer-only rule spares it.
int PlaceEntry(const char* target, const PackageEntry& entry,
               EntrySource* source, int newerOnly) {
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
  return WriteNewFile(target, &entry.LastWriteTime,
                      [source](PlatNewFile file) { return FillFrom(source, file); });
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
  EntrySource source;
  int result = 0;
  switch (OpenSource(&source, name, entry, data)) {
    case Source::NoMemory:
      ShowUpdaterError("Can't Allocate Memory !!");
      break;
    case Source::Damaged:
      break;
    case Source::Ready:
      result = PlaceEntry(target, entry, &source, newerOnly);
      break;
  }
  CloseSource(&source);
  // Written or not, these bytes are not wanted again soon.
  PlatReleasePackageBytes(data, entry.StoredSize);
  return result;
}

uint64_t DiskShortfall(const char* path, uint64_t needed, char* root) {
  VolumeRootOf(path, root);
  uint64_t freeBytes = 0;
  uint64_t totalBytes = 0;
  if (!QueryDiskSpace(root, &freeBytes, &totalBytes, nullptr)) return 0;
  return needed > freeBytes ? needed - freeBytes : 0;
}

uint64_t ExtractedBytes() {
  PlatLock();
  const uint64_t bytes = gExtractedBytes;
  PlatUnlock();
  return bytes;
}

int WriteWholeFile(const char* path, const void* data, uint32_t size,
                   const uint64_t* fileTime) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  return WriteNewFile(path, fileTime, [bytes, size](PlatNewFile file) {
           return AppendInPieces(file, bytes, size, false);
         })
             ? 1
             : 0;
}

uint8_t* ReadWholeFile(const char* path, uint32_t* size) {
  return PlatReadWholeFile(path, size);
}

int QueryDiskSpace(const char* root, uint64_t* freeForCaller, uint64_t* total,
                   uint64_t* totalFree) {
  return PlatQueryDiskSpace(root, freeForCaller, total, totalFree) ? 1 : 0;
}
