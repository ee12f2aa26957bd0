// The update run: free space, the package files by their modes, the
// completion page.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "package/decode_ahead.h"
#include "package/extract.h"
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
  VolumeRootOf(InstallRecord.InstPath, root);
  uint64_t available = 0, total = 0;
  // A volume that cannot be asked is not held against the player; each
  // file's own check still refuses what does not fit.
  if (!QueryDiskSpace(root, &available, &total, nullptr)) return true;
  if (available >= required) return true;

  const uint64_t shortfall = required - available;
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

// Writes one item. False when the write failed; the caller reports it.
static bool WritePackageFile(const UpdateItem& item, bool overwriteOnly) {
  char target[kPathSize] = {};
  std::strcpy(target, item.Mode == ModeData ? InstallRecord.DataPath
                                            : InstallRecord.InstPath);
  if (!AppendPathComponent(target, UpdaterSettings.DataFolder)) return false;
  // Usually there already; a real failure shows up as the write failing.
  PlatCreateFolder(target);
  if (!AppendPathComponent(target, item.Path)) return false;

  if ((overwriteOnly || item.Mode == ModeOverwrite) && !TargetIsFile(target)) {
    return true;
  }
  if (item.Mode == ModeData) {
    // The player's data stays as it is; it is only rewritten in place.
    uint32_t size = 0;
    if (uint8_t* data = ReadWholeFile(target, &size)) {
      WriteWholeFile(target, data, size, nullptr);
      std::free(data);
      return true;
    }
  }
  return ExtractEntry(target, item.Path + item.NameOffset,
                      item.Mode == ModeUpdate) != 0;
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

  const char* names[kMaxListItems];
  for (int32_t i = 0; i < UpdateItemCount; ++i) {
    names[i] = UpdateItems[i].Path + UpdateItems[i].NameOffset;
  }
  StartDecodingAhead(names, UpdateItemCount);
  for (int32_t i = 0; i < UpdateItemCount; ++i) {
    DecodeAheadFrom(i);
    if (!WritePackageFile(UpdateItems[i], overwriteOnly)) {
      StopDecodingAhead();
      ShowUpdaterError("ファイルの書き込みに失敗しました");
      PlatEndDialog(dialog, -1);
      return;
    }
  }
  StopDecodingAhead();
  if (!CopyMedia(dialog)) return;
  ShowCompletionPage(dialog);
}
