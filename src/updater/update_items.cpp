// The UpdateFileNN lines of [UPDATE] and the list of package files they make.
#include "profile/profile.h"
#include "updater/updater.h"

UpdateItem UpdateItems[kMaxListItems];
int32_t UpdateItemCount;

bool BuildUpdateItems() {
  return BuildListItems(kUpdateFilePrefix, kUpdateLineSize, ParseUpdateLine,
                        UpdateItems, &UpdateItemCount);
}
