// The installer's SETUP.INI: loaded and checked once at start-up, so the
// updater only runs over an installation the installer finished.
#pragma once
#include <cstdint>

#include "core/text_sizes.h"

struct InstallDescriptionRecord {
  char GameExe[kPathSize];
  char UninstExe[kPathSize];
  char SetupBmp[20][kPathSize];  // after the last name, an empty slot if room
  int32_t InstallSelects;  // at most 3; 0 or less: no choices
  char InstallTitle[3][kPathSize];
  char InstallFiles[3][40][kPathSize];  // after the last file, an empty slot if room
  int32_t InstallFileDisk[3][40];
  int32_t InstallUsesOtherDisks[3];
  int32_t Shortcuts;  // at most 10; 0 or less: none
  char Shortcut[10][3][kPathSize];  // target, name, optional third field
  int32_t DefaultSelect;
  uint64_t InstallSize[3];
  char DiskCheckFile[10][kPathSize];  // marker file of disk N on a drive's root
  char ExecApp[2][kPathSize];         // program and its argument
  uint32_t InstallDirectX;      // flags of the DirectX set-up, 0 when not asked
  char InstallDXMessage[1024];
  char SelectSetupMessage[1024];
  int32_t UseCompanyNameForShortcutGroup;
  int32_t ChooseSaveDataFolder;
  char SaveDataFolderName[kPathSize];
};

extern InstallDescriptionRecord InstallDescription;

// Loads [SETUP] of the file at SetupIniPath into InstallDescription and
// writes CompanyName, GameTitle, GameDir and GameClass over UpdaterSettings.
// 1 when loaded; 0 when refused (format errors reported, missing keys not).
int LoadInstallDescription();

// Back to the empty record of program start (for tests).
void ResetInstallDescription();
