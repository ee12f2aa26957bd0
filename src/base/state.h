// Process-wide state of the updater and the small helpers every layer shares:
// the settings read from UPDATE.INI, the installer's record, the caption, the
// dialog handle, the error box, the path joiner and the dialog's info line.
#pragma once
#include <cstdint>

#include "core/ids.h"
#include "platform/platform.h"

constexpr int kPathSize = 260;      // names, keys and paths, with NUL
constexpr int kMessageSize = 1024;  // messages and long values, with NUL

struct UpdaterSettingsRecord {
  char CompanyName[kPathSize];
  char GameTitle[kPathSize];
  char GameClass[kPathSize];
  char GameDir[kPathSize];
  char GameTitleA[kPathSize];
  char UpdaterVersion[kPathSize];
  char UpdaterTitle[kPathSize];
  char DataFolder[kPathSize];
  char UpdateMessage[kMessageSize];
};

struct InstallRecordValues {
  char InstPath[kPathSize];
  char DataPath[kPathSize];
  int32_t InstMode;
  int32_t InstAdd;
};

extern UpdaterSettingsRecord UpdaterSettings;
extern InstallRecordValues InstallRecord;
extern char WindowCaption[kMessageSize];  // "UPDATE" until start-up builds it
extern PlatWindow DialogWindow;           // null until the dialog initialises

// Control ids of the wizard dialog.
enum : int {
  kIdNext = UPD_ID_NEXT,
  kIdCancel = UPD_ID_CANCEL,
  kIdBack = UPD_ID_BACK,
  kIdInfo = UPD_ID_INFO,
};

// Modal error box: owner DialogWindow, caption WindowCaption, stop icon, OK.
int ShowUpdaterError(const char* text);

// Appends `component` to the path in `path` (a kPathSize buffer), with one
// '\' between them unless the path is empty or its last byte is '\' or '/',
// and ends the result with two NULs. Returns false and leaves the buffer
// unchanged when the result with its two NULs would not fit.
bool AppendPathComponent(char* path, const char* component);

// Formats like wvsprintfA into a kMessageSize buffer (cut at 1023 bytes) and
// makes it the text of the dialog's info control.
void SetInfoText(PlatWindow dialog, const char* format, ...);

// Enables the control when `flag` is nonzero, disables it otherwise.
void EnableControl(PlatWindow dialog, int controlId, int flag);

// Back to the state at program start (for tests).
void ResetUpdaterState();
