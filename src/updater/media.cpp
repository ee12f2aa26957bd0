// Media copies from the game's discs (CopyFileNN): not built yet.
//
// The run already asks here for the CopyFileNN list and hands control here
// after the package files, so the copies from the CD-ROM drop in without
// touching the run. Until then no CopyFileNN line is carried out: the list
// stays empty and nothing is copied.
#include "profile/profile.h"
#include "updater/updater.h"

int32_t CopyItemCount;

bool BuildCopyItems() {
  CopyItemCount = 0;
  char value[kPathSize];
  return ReadProfileString("UPDATE", "CopyFile00", value, sizeof value) != 0;
}

int CopyMedia(PlatWindow) { return 1; }
