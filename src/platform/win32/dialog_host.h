// What the dialog host and the message box share: a box asked for by the
// work aside is shown by the dialog's own thread, which keeps the dialog
// answering while the work runs.
#pragma once
#include <windows.h>

#include "platform/platform.h"

constexpr UINT kMsgShowBox = WM_APP + 1;

struct BoxRequest {
  const char* text;
  const char* caption;
  PlatButtons buttons;
  PlatIcon icon;
  PlatAnswer answer;
};
