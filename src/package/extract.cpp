#include "package/extract.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/state.h"
#include "core/patch_entry.h"
#include "package/decode_ahead.h"
#include "package/decompress.h"
#include "package/package.h"
#include "package/patch_apply.h"
#include "package/patch_target.h"
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

// Writes the entry to the target through `fill` unless the target is a
// folder or the newer-only rule spares it.
template <class Fill>
int PlaceEntry(const char* target, const PackageEntry& entry, int newerOnly, Fill fill) {
  unsigned attributes = 0;
  const bool exists = PlatGetAttributes(target, &attributes);
  if (exists && (attributes & kPlatAttrFolder)) return 0;
  // Made writable before the newer-only rule looks, so a spared file keeps
  // normal attributes as well.
  if (exists && (attributes & kPlatAttrReadOnly)) {
    PlatSetNormalAttributes(target);
  }
  if (newerOnly && exists && NewerThanEntry(target, entry.LastWriteTime)) return 1;
  return WriteNewFile(target, &entry.LastWriteTime, fill);
}

// Writes a plain entry, or a patch entry's whole file, from its bytes at
// `data`.
int PlaceWhole(const char* target, const char* name, const PackageEntry& entry,
               const uint8_t* data, int newerOnly) {
  EntrySource source;
  int result = 0;
  switch (OpenSource(&source, name, entry, data)) {
    case Source::NoMemory:
      ShowUpdaterError("Can't Allocate Memory !!");
      break;
    case Source::Damaged:
      break;
    case Source::Ready:
      result = PlaceEntry(target, entry, newerOnly,
                          [&source](PlatNewFile file) { return FillFrom(&source, file); });
      break;
  }
  CloseSource(&source);
  return result;
}

// The new file that a patch makes of the old one at the target, summed as
// it is written.
struct PatchedFile {
  PlatNewFile file;
  uint32_t crc;
};

bool ReadOld(void* reader, uint32_t offset, uint8_t* dest, uint32_t size) {
  return PlatReadFileAt(static_cast<PlatFileReader>(reader), offset, dest, size);
}

bool AppendPatched(void* context, const uint8_t* bytes, uint32_t size) {
  auto* patched = static_cast<PatchedFile*>(context);
  patched->crc = Crc32(RunCrcTable, patched->crc, bytes, size);
  return AppendInPieces(patched->file, bytes, size, false);
}

// Writes old version `version` of the target patched, when the result is
// exactly the one the entry records.
int PlacePatched(const char* target, const PackageEntry& entry, const uint8_t* data,
                 const PatchEntryInfo& info, uint32_t version, int newerOnly) {
  const PatchVersion old = ReadPatchVersion(data, info, version);
  return PlaceEntry(target, entry, newerOnly, [&](PlatNewFile file) {
    uint32_t oldSize = 0;
    PlatFileReader reader = PlatOpenFileReader(target, &oldSize);
    if (reader == nullptr) return false;
    PatchedFile patched = {file, 0};
    // The old file is closed before the new one takes its place.
    const bool applied = oldSize == old.OldSize &&
                         ApplyPatch(data + old.PatchOffset, old.PatchSize, oldSize,
                                    entry.FileSize, PatchOldFile{ReadOld, reader},
                                    PatchSink{AppendPatched, &patched});
    PlatCloseFileReader(reader);
    return applied && patched.crc == info.ResultCrc;
  });
}

}  // namespace

int ExtractEntry(const char* target, const char* name, int newerOnly,
                 int32_t patchVersion) {
  PackageEntry entry;
  uint32_t dataOffset = 0;
  if (!FindOpenEntry(name, &entry, &dataOffset)) {
    ShowUpdaterError("Can't Find File in Resource !!");
    return 0;
  }
  // A path that long cannot be written: the caller reports a failed write.
  if (std::strlen(target) >= kPathSize) return 0;
  if (!CheckRoom(target, entry.FileSize)) return 0;

  const uint8_t* data = PackageImage + dataOffset;
  int result = 0;
  PatchEntryInfo info;
  if (!IsPatchEntry(entry)) {
    result = PlaceWhole(target, name, entry, data, newerOnly);
  } else if (!ReadPatchEntry(data, entry.StoredSize, entry.FileSize, &info)) {
    result = 0;
  } else if (patchVersion >= 0 && uint32_t(patchVersion) < info.VersionCount) {
    result = PlacePatched(target, entry, data, info, uint32_t(patchVersion), newerOnly);
  } else if (info.FallbackFlags != 0) {
    result = PlaceWhole(target, name, FallbackEntry(entry, info),
                        data + info.FallbackOffset, newerOnly);
  } else {
    // Nothing to write the file from, unless the newer-only rule spares it.
    result = PlaceEntry(target, entry, newerOnly, [](PlatNewFile) { return false; });
  }
  // Written or not, these bytes are not wanted again soon.
  PlatReleasePackageBytes(data, entry.StoredSize);
  return result;
}

bool NewerThanEntry(const char* target, uint64_t entryTime) {
  uint64_t existingTime = 0;
  return PlatReadLastWriteTime(target, &existingTime) && existingTime > entryTime;
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
