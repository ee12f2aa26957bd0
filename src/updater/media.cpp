// The CopyFileNN lines of [UPDATE] and the copies they make from the game's
// discs.
#include <cstdio>
#include <cstring>

#include "profile/install_description.h"
#include "profile/profile.h"
#include "updater/updater.h"

CopyItem CopyItems[kMaxListItems];
int32_t CopyItemCount;

bool BuildCopyItems() {
  return BuildListItems(kCopyFilePrefix, kCopyLineSize, ParseCopyLine,
                        CopyItems, &CopyItemCount);
}

// The CD-ROM drive, A: to Z:, whose root holds the check file of disc
// `disk` (1 to 9); the first one wins. An empty check file names the root,
// so any drive with a disc in it matches. False when none does.
static bool FindDisc(int32_t disk, char* drive) {
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    char path[kPathSize] = {letter, ':'};
    unsigned attributes = 0;
    if (PlatIsCdromDrive(path) &&
        AppendPathComponent(path, InstallDescription.DiskCheckFile[disk]) &&
        PlatGetAttributes(path, &attributes)) {
      drive[0] = letter;
      drive[1] = ':';
      return true;
    }
  }
  return false;
}

// Searches until the disc is found, asking the player to insert it after
// each search that fails. False when the player cancels.
static bool WaitForDisc(PlatWindow dialog, int32_t disk, char* drive) {
  while (!FindDisc(disk, drive)) {
    char text[kMessageSize];
    std::snprintf(text, sizeof text,
                  "ＣＤ－ＲＯＭドライブに「%s」ディスク %i を入れて下さい",
                  UpdaterSettings.GameTitle, static_cast<int>(disk));
    if (PlatMessageBox(dialog, text, WindowCaption, kPlatButtonsOkCancel,
                       kPlatIconNone) != kPlatIdOk) {
      return false;
    }
  }
  return true;
}

enum CopyOutcome { kCopied, kStopped, kFailed };

// Finds the item's disc and copies its file or folder into InstPath. A
// source that cannot be read counts as a folder, whose copy then fails
// without the shell's own error display.
static CopyOutcome CopyMediaItem(PlatWindow dialog, char* drive,
                                 const CopyItem& item) {
  // A disk number from a character other than a digit names no check file,
  // and disk 0 before any search leaves no drive to copy from: both are
  // failed copies rather than guesses.
  if (item.DiskNumber < 0 || item.DiskNumber > 9) return kFailed;
  if (item.DiskNumber != 0 && !WaitForDisc(dialog, item.DiskNumber, drive)) {
    return kStopped;
  }
  if (drive[0] == '\0') return kFailed;

  // Zero-filled, so each path ends with the two NULs the shell wants.
  char source[kPathSize] = {};
  char destination[kPathSize] = {};
  std::strcpy(source, drive);
  std::strcpy(destination, InstallRecord.InstPath);
  if (!AppendPathComponent(source, item.Path)) return kFailed;
  unsigned attributes = 0;
  const bool isFile = PlatGetAttributes(source, &attributes) &&
                      (attributes & kPlatAttrFolder) == 0;
  if (isFile && !AppendPathComponent(destination, item.Path)) return kFailed;

  SetInfoText(dialog, "%s をコピーしています", item.Path);
  // The shell's own error display only for a file: a folder's copy fails
  // quietly, and the updater reports it.
  const PlatCopyResult result =
      PlatShellCopy(dialog, source, destination, isFile);
  if (result == kPlatCopyStopped) return kStopped;
  if (result == kPlatCopyFailed) return kFailed;
  // Files from a disc come read-only.
  PlatSetNormalAttributes(destination);
  return kCopied;
}

int CopyMedia(PlatWindow dialog) {
  char drive[3] = {};  // the media drive: none until a search finds one
  for (int32_t i = 0; i < CopyItemCount; ++i) {
    const CopyOutcome outcome = CopyMediaItem(dialog, drive, CopyItems[i]);
    if (outcome == kCopied) continue;
    if (outcome == kFailed) {
      char text[kMessageSize];
      std::snprintf(text, sizeof text,
                    "SETUP.INI : \"%s\" のコピーに失敗しました",
                    CopyItems[i].Path);
      ShowUpdaterError(text);
    }
    PlatEndDialog(dialog, -1);
    return 0;
  }
  return 1;
}
