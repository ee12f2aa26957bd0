// The update run: free space, the package files by their modes, the
// completion page.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/patch_entry.h"
#include "package/decode_ahead.h"
#include "package/extract.h"
#include "package/package.h"
#include "package/patch_target.h"
#include "profile/profile.h"
#include "updater/updater.h"

// Shortfall page when the installation volume lacks RequiredDiskSpace.
// True when the run may go on.
static bool CheckFreeSpace(PlatWindow dialog) {
  char text[kPathSize];
  if (!ReadProfileString("UPDATE", "RequiredDiskSpace", text, sizeof text)) {
    return true;
  }
  const uint32_t required = ParseUnsigned32(text);
  if (required == 0) return true;

  char root[kPathSize];
  const uint64_t shortfall = DiskShortfall(InstallRecord.InstPath, required, root);
  if (shortfall == 0) return true;
  SetInfoText(dialog,
              "ディスク容量が足りません。\r%s ドライブに %i バイトの空き容量が必要です",
              root, static_cast<int>(static_cast<uint32_t>(shortfall)));
  EnableControl(dialog, kIdBack, 1);
  EnableControl(dialog, kIdNext, 0);
  EnableControl(dialog, kIdCancel, 1);
  return false;
}

static bool TargetIsFile(const char* target) {
  unsigned attributes = 0;
  return PlatGetAttributes(target, &attributes) &&
         (attributes & kPlatAttrFolder) == 0;
}

// The item's target path, its folder made when `makeFolder`; false when
// the path is too long to be one.
static bool ItemTarget(const UpdateItem& item, char* target, bool makeFolder) {
  std::strcpy(target, item.Mode == ModeData ? InstallRecord.DataPath
                                            : InstallRecord.InstPath);
  if (!AppendPathComponent(target, UpdaterSettings.DataFolder)) return false;
  // Usually there already; a real failure shows up as the write failing.
  if (makeFolder) PlatCreateFolder(target);
  return AppendPathComponent(target, item.Path);
}

// Whether the item's mode passes over its target as it stands.
static bool PassedOver(const UpdateItem& item, bool overwriteOnly, const char* target) {
  return (overwriteOnly || item.Mode == ModeOverwrite) && !TargetIsFile(target);
}

// What the check before the first write found for an item.
constexpr int32_t kItemDone = -2;  // already the result: not written

// Writes one item. False when the write failed; the caller reports it.
static bool WritePackageFile(const UpdateItem& item, bool overwriteOnly,
                             int32_t patchVersion) {
  char target[kPathSize] = {};
  if (!ItemTarget(item, target, true)) return false;
  if (PassedOver(item, overwriteOnly, target) || patchVersion == kItemDone) return true;
  if (item.Mode == ModeData) {
    // The player's data stays as it is; it is only rewritten in place.
    uint32_t size = 0;
    if (uint8_t* data = ReadWholeFile(target, &size)) {
      WriteWholeFile(target, data, size, nullptr);
      std::free(data);
      return true;
    }
  }
  return ExtractEntry(target, item.Path + item.NameOffset, item.Mode == ModeUpdate,
                      patchVersion) != 0;
}

// The package files are written aside, so that the dialog keeps answering
// while they are; its progress bar follows the bytes written.
enum class RunFault { None, Write, Version };

struct PackageFilesWork {
  PlatWindow dialog;
  bool overwriteOnly;
  RunFault fault;
  int32_t patchVersions[kMaxListItems];  // kWholeFile, kItemDone or a version
  uint64_t total;  // the entries' sizes, all the run may write
  // Under PlatLock: the sizes of the items done, and ExtractedBytes() when
  // the one under way began.
  uint64_t itemsDone;
  uint64_t itemStartedAt;
  int shown;  // the progress shown, in thousandths
};

static uint32_t EntrySize(const UpdateItem& item) {
  PackageEntry entry;
  uint32_t offset = 0;
  return FindOpenEntry(item.Path + item.NameOffset, &entry, &offset)
             ? entry.FileSize
             : 0;
}

// Which old version the target of each patch entry that the run would
// write is, before anything is written. False after a damaged entry, or
// after telling of a file that is no version the package knows.
static bool CheckPatchTargets(PackageFilesWork& work) {
  for (int32_t i = 0; i < UpdateItemCount; ++i) {
    const UpdateItem& item = UpdateItems[i];
    work.patchVersions[i] = kWholeFile;
    PackageEntry entry;
    uint32_t offset = 0;
    char target[kPathSize] = {};
    if (!FindOpenEntry(item.Path + item.NameOffset, &entry, &offset) ||
        !IsPatchEntry(entry) || !ItemTarget(item, target, false) ||
        PassedOver(item, work.overwriteOnly, target) ||
        (item.Mode == ModeData && TargetIsFile(target)) ||
        (item.Mode == ModeUpdate && NewerThanEntry(target, entry.LastWriteTime))) {
      continue;  // not a patch, or the write passes it over or reports it
    }
    uint32_t version = 0;
    switch (MatchTarget(target, entry, PackageImage + offset, &version)) {
      case TargetMatch::Version:
        work.patchVersions[i] = int32_t(version);
        break;
      case TargetMatch::Done:
        work.patchVersions[i] = kItemDone;
        break;
      case TargetMatch::Whole:
        break;
      case TargetMatch::Damaged:
        work.fault = RunFault::Write;
        return false;
      case TargetMatch::Mismatch: {
        char message[kMessageSize + kPathSize];
        std::snprintf(message, sizeof message, "更新するファイルのバージョンが違います。\r%s",
                      target);
        ShowUpdaterError(message);
        work.fault = RunFault::Version;
        return false;
      }
    }
  }
  return true;
}

static void WriteItemsAside(void* argument) {
  auto& work = *static_cast<PackageFilesWork*>(argument);
  if (!CheckPatchTargets(work)) return;
  const char* names[kMaxListItems];
  for (int32_t i = 0; i < UpdateItemCount; ++i) {
    names[i] = UpdateItems[i].Path + UpdateItems[i].NameOffset;
  }
  StartDecodingAhead(names, UpdateItemCount);
  for (int32_t i = 0; i < UpdateItemCount && work.fault == RunFault::None; ++i) {
    DecodeAheadFrom(i);
    const uint64_t startedAt = ExtractedBytes();
    PlatLock();
    work.itemStartedAt = startedAt;
    PlatUnlock();
    if (!WritePackageFile(UpdateItems[i], work.overwriteOnly, work.patchVersions[i])) {
      work.fault = RunFault::Write;
    }
    // An item spared or passed over counts as done all the same.
    const uint64_t size = EntrySize(UpdateItems[i]);
    const uint64_t endedAt = ExtractedBytes();
    PlatLock();
    work.itemsDone += size;
    work.itemStartedAt = endedAt;
    PlatUnlock();
  }
  StopDecodingAhead();
}

static void ShowWriteProgress(void* argument) {
  auto& work = *static_cast<PackageFilesWork*>(argument);
  const uint64_t extracted = ExtractedBytes();
  PlatLock();
  uint64_t done = work.itemsDone;
  if (extracted > work.itemStartedAt) done += extracted - work.itemStartedAt;
  PlatUnlock();
  const int permille =
      work.total == 0 || done >= work.total ? 1000 : int(done * 1000 / work.total);
  // Never back: the two counts are read one after the other.
  if (permille > work.shown) {
    work.shown = permille;
    PlatSetProgress(work.dialog, permille);
  }
}

// Writes every UpdateItem. A write that failed is for the caller to report,
// after whatever the write reported itself; a file of an unknown version
// has been told of.
static RunFault WritePackageFiles(PlatWindow dialog, bool overwriteOnly) {
  PackageFilesWork work = {};
  work.dialog = dialog;
  work.overwriteOnly = overwriteOnly;
  for (int32_t i = 0; i < UpdateItemCount; ++i) work.total += EntrySize(UpdateItems[i]);
  work.itemStartedAt = ExtractedBytes();
  PlatSetProgress(dialog, 0);
  PlatRunAside(dialog, WriteItemsAside, ShowWriteProgress, &work);
  PlatSetProgress(dialog, -1);
  return work.fault;
}

static void ShowCompletionPage(PlatWindow dialog) {
  SetInfoText(dialog, "アップデートは完了しました");
  PlatSetControlText(dialog, kIdNext, "完了");
  EnableControl(dialog, kIdNext, 1);
  PlatFocusControl(dialog, kIdNext);
  PlatSetCursor(kPlatCursorArrow);
}

void RunUpdate(PlatWindow dialog) {
  if (!CheckFreeSpace(dialog)) return;

  SetInfoText(dialog, "アップデートを実行しています");
  EnableControl(dialog, kIdBack, 0);
  EnableControl(dialog, kIdNext, 0);
  EnableControl(dialog, kIdCancel, 0);
  PlatSetCursor(kPlatCursorWait);

  char text[kPathSize];
  const bool overwriteOnly =
      ReadProfileString("UPDATE", "OverwriteOnly", text, sizeof text) &&
      ParseUnsigned32(text) != 0;

  const bool hasUpdateLines = BuildUpdateItems();
  const bool hasCopyLines = BuildCopyItems();
  if (!hasUpdateLines && !hasCopyLines) {
    ShowUpdaterError("No 'UpdateFileXX' and 'CopyFileXX'");
    PlatEndDialog(dialog, -1);
    return;
  }
  if (UpdateItemCount == 0 && CopyItemCount == 0) {
    // Every line is meant for another kind of installation: nothing to do
    // here, which is a finished update, not a failed one.
    ShowUpdaterError("アップデートする必要のあるファイルはありません");
    ShowCompletionPage(dialog);
    return;
  }

  const RunFault fault =
      UpdateItemCount != 0 ? WritePackageFiles(dialog, overwriteOnly) : RunFault::None;
  if (fault != RunFault::None) {
    if (fault == RunFault::Write) ShowUpdaterError("ファイルの書き込みに失敗しました");
    PlatEndDialog(dialog, -1);
    return;
  }
  if (!CopyMedia(dialog)) return;
  ShowCompletionPage(dialog);
}
