// The UpdateFileNN lines of [UPDATE] and the list of package files they make.
#include "profile/profile.h"
#include "updater/updater.h"

UpdateItem UpdateItems[kMaxListItems];
int32_t UpdateItemCount;

bool ReadNumberedKey(const char* prefix, int n, char* value,
                     uint32_t capacity) {
  char key[32];
  NumberedKeyName(key, sizeof key, prefix, n);
  return ReadProfileString("UPDATE", key, value, capacity) != 0;
}

bool BuildUpdateItems() {
  return BuildListItems(kUpdateFilePrefix, kUpdateLineSize, ParseUpdateLine,
                        UpdateItems, &UpdateItemCount);
}
