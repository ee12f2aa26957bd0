// The CopyFileNN lines of [UPDATE] and the copies they make from the game's
// discs.
#include <cstring>

#include "profile/profile.h"
#include "updater/updater.h"

CopyItem CopyItems[kMaxListItems];
int32_t CopyItemCount;

bool ParseCopyLine(const char* value, int32_t instMode, CopyItem* item) {
  // Taken apart by position: "N," filters, "N:" names the disc. Neither ','
  // nor ':' can be the second byte of a double-byte character.
  bool applies = true;
  if (value[0] != '\0' && value[1] == ',') {
    applies = value[0] - '0' == instMode;
    value += 2;
  }
  item->DiskNumber = 0;
  if (value[0] != '\0' && value[1] == ':') {
    item->DiskNumber = value[0] - '0';
    value += 2;
  }
  // The value comes from a read of kPathSize bytes, so the rest always fits.
  std::strncpy(item->Path, value, kPathSize - 1);
  item->Path[kPathSize - 1] = '\0';
  return applies;
}

static void TakeCopyLine(const char* value) {
  if (ParseCopyLine(value, InstallRecord.InstMode,
                    &CopyItems[CopyItemCount])) {
    ++CopyItemCount;
  }
}

bool BuildCopyItems() {
  CopyItemCount = 0;
  return ReadNumberedLines("CopyFile%02i", kPathSize, TakeCopyLine);
}

int CopyMedia(PlatWindow) { return 1; }
