// Copies of files and folders from the game's disc, done by the shell with
// its own progress window.
#include <windows.h>
#include <shellapi.h>

#include "platform/platform.h"

PlatCopyResult PlatShellCopy(PlatWindow owner, const char* from,
                             const char* to, bool showErrors) {
  SHFILEOPSTRUCTA operation = {};
  operation.hwnd = reinterpret_cast<HWND>(owner);
  operation.wFunc = FO_COPY;
  operation.pFrom = from;
  operation.pTo = to;
  operation.fFlags = FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR |
                     (showErrors ? 0 : FOF_NOERRORUI);
  operation.fAnyOperationsAborted = FALSE;
  const int result = SHFileOperationA(&operation);
  if (operation.fAnyOperationsAborted) return kPlatCopyStopped;
  return result == 0 ? kPlatCopyDone : kPlatCopyFailed;
}
