#include "updater/state.h"

#include <cstdarg>
#include <cstdio>

InstallRecordValues InstallRecord;

void SetInfoText(PlatWindow dialog, const char* format, ...) {
  char text[kMessageSize] = "";
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  PlatSetControlText(dialog, kIdInfo, text);
}
