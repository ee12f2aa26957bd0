// The little that the package and profile layers share with the program:
// the settings (the SETUP.INI loader writes some of them), the caption and
// the dialog handle the error box needs, the error box, the path joiner and
// the volume a path lies on.
#pragma once
#include <cstdint>

#include "core/text_sizes.h"
#include "platform/platform.h"

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

extern UpdaterSettingsRecord UpdaterSettings;
extern char WindowCaption[kMessageSize];  // "UPDATE" until start-up builds it
extern PlatWindow DialogWindow;           // null until the dialog initialises

// Modal error box: owner DialogWindow, caption WindowCaption, stop icon, OK.
int ShowUpdaterError(const char* text);

// Appends `component` to the path in `path` (a kPathSize buffer), with one
// '\' between them unless the path is empty or its last byte is '\' or '/',
// and ends the result with two NULs. Returns false and leaves the buffer
// unchanged when the result with its two NULs would not fit.
bool AppendPathComponent(char* path, const char* component);

// The root whose free space decides whether a file at `path` fits, into
// `root` (room for the path): "D:" for a drive-letter path, otherwise the
// folder that holds it (with its separator, which a UNC share needs), or
// "." for a bare file name.
void VolumeRootOf(const char* path, char* root);

// Back to the state at program start (for tests).
void ResetUpdaterState();
