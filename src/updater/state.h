// The updater's own process-wide state and dialog helpers: the installer's
// record and the wizard's controls.
#pragma once
#include <cstdint>

#include "base/state.h"
#include "core/ids.h"
#include "platform/platform.h"

struct InstallRecordValues {
  char InstPath[kPathSize];
  char DataPath[kPathSize];
  int32_t InstMode;
  int32_t InstAdd;
};

extern InstallRecordValues InstallRecord;

// Control ids of the wizard dialog.
enum : int {
  kIdNext = UPD_ID_NEXT,
  kIdCancel = UPD_ID_CANCEL,
  kIdBack = UPD_ID_BACK,
  kIdInfo = UPD_ID_INFO,
};

// Formats like wvsprintfA into a kMessageSize buffer (cut at 1023 bytes) and
// makes it the text of the dialog's info control.
void SetInfoText(PlatWindow dialog, const char* format, ...);

// Enables the control when `flag` is nonzero, disables it otherwise.
inline void EnableControl(PlatWindow dialog, int controlId, int flag) {
  PlatEnableControl(dialog, controlId, flag != 0);
}
