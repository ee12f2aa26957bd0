// Copies of files and folders from the game's disc, done by the shell with
// its own progress window.
#include <windows.h>
#include <shellapi.h>

#include "platform/platform.h"

int PlatShellCopy(PlatWindow owner, const char* from, const char* to,
                  unsigned flags, bool* aborted) {
  SHFILEOPSTRUCTA operation = {};
  operation.hwnd = reinterpret_cast<HWND>(owner);
  operation.wFunc = FO_COPY;
  operation.pFrom = from;
  operation.pTo = to;
  operation.fFlags = FILEOP_FLAGS(flags);
  operation.fAnyOperationsAborted = FALSE;
  const int result = SHFileOperationA(&operation);
  *aborted = operation.fAnyOperationsAborted != FALSE;
  return result;
}
