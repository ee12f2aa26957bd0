#include "profile/install_description.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/state.h"
#include "profile/profile.h"

InstallDescriptionRecord InstallDescription;

namespace {

// Working buffers of the load.
struct LoadBuffers {
  char list[kMessageSize];
  char key[kPathSize];
  char message[kMessageSize];
};

// "SETUP.INI : <key> エラー", for a list whose required fields are missing.
int RefuseList(LoadBuffers& buffers, const char* key) {
  std::snprintf(buffers.message, sizeof buffers.message,
                "SETUP.INI : %s エラー", key);
  ShowSetupError(buffers.message);
  return 0;
}

const char* NumberedKey(LoadBuffers& buffers, const char* format, int n) {
  std::snprintf(buffers.key, sizeof buffers.key, format, n);
  return buffers.key;
}

// Optional integer switch: 1 when given and nonzero.
int32_t ReadSetupFlag(const char* key) {
  int32_t value = 0;
  return ReadSetupInt(key, &value) && value != 0 ? 1 : 0;
}

// Optional string with a default when not given.
void ReadSetupStringOr(const char* key, char* dest, uint32_t capacity,
                       const char* fallback) {
  if (!ReadSetupString(key, dest, capacity)) {
    std::snprintf(dest, capacity, "%s", fallback);
  }
}

int LoadIdentity() {
  return ReadSetupString("CompanyName", UpdaterSettings.CompanyName,
                         kPathSize) &&
         ReadSetupString("GameTitle", UpdaterSettings.GameTitle, kPathSize) &&
         ReadSetupString("GameDir", UpdaterSettings.GameDir, kPathSize) &&
         ReadSetupString("GameExe", InstallDescription.GameExe, kPathSize) &&
         ReadSetupString("UninstExe", InstallDescription.UninstExe, kPathSize);
}

int LoadSetupBmps(LoadBuffers& buffers) {
  InstallDescriptionRecord& d = InstallDescription;
  if (!ReadSetupString("SetupBmp", buffers.list, sizeof buffers.list)) return 0;
  const char* cursor = buffers.list;
  int count = 0;
  while (count < 20 && NextListField(d.SetupBmp[count], &cursor)) ++count;
  if (count == 0) {
    ShowSetupError("SETUP.INI : SetupBmps エラー");
    return 0;
  }
  if (count < 20) d.SetupBmp[count][0] = '\0';
  return 1;
}

int LoadChoices(LoadBuffers& buffers) {
  InstallDescriptionRecord& d = InstallDescription;
  if (!ReadSetupInt("InstallSelects", &d.InstallSelects)) return 0;
  if (d.InstallSelects > 3) {
    ShowSetupError("SETUP.INI : InstallSelect オーバー");
    return 0;
  }
  for (int s = 0; s < d.InstallSelects; ++s) {
    if (!ReadSetupString(NumberedKey(buffers, "InstallTitle%i", s),
                         d.InstallTitle[s], kPathSize)) {
      return 0;
    }
    const char* key = NumberedKey(buffers, "InstallFiles%i", s);
    if (!ReadSetupString(key, buffers.list, sizeof buffers.list)) return 0;
    d.InstallUsesOtherDisks[s] = 0;
    // A disk prefix holds for the files after it, within this list only.
    CurrentDiskNumber = 0;
    const char* cursor = buffers.list;
    for (int j = 0; j < 40; ++j) {
      if (!NextListField(d.InstallFiles[s][j], &cursor)) {
        d.InstallFiles[s][j][0] = '\0';
        if (j == 0) return RefuseList(buffers, key);
        break;
      }
      d.InstallFileDisk[s][j] = CurrentDiskNumber;
      if (CurrentDiskNumber != 0) d.InstallUsesOtherDisks[s] = 1;
    }
  }
  return 1;
}

int LoadShortcuts(LoadBuffers& buffers) {
  InstallDescriptionRecord& d = InstallDescription;
  if (!ReadSetupInt("Shortcuts", &d.Shortcuts)) return 0;
  if (d.Shortcuts > 10) {
    ShowSetupError("SETUP.INI : Shortcuts オーバー");
    return 0;
  }
  for (int s = 0; s < d.Shortcuts; ++s) {
    const char* key = NumberedKey(buffers, "Shortcut%i", s);
    if (!ReadSetupString(key, buffers.list, kPathSize)) return 0;
    const char* cursor = buffers.list;
    for (int j = 0; j < 3; ++j) {
      if (!NextListField(d.Shortcut[s][j], &cursor)) {
        d.Shortcut[s][j][0] = '\0';
        // Target and name are required; the third field is not.
        if (j < 2) return RefuseList(buffers, key);
      }
    }
  }
  return 1;
}

int LoadExecApp(LoadBuffers& buffers) {
  InstallDescriptionRecord& d = InstallDescription;
  d.ExecApp[0][0] = '\0';
  d.ExecApp[1][0] = '\0';
  if (!ReadSetupString("ExecApp", buffers.list, kPathSize)) return 1;
  const char* cursor = buffers.list;
  if (!NextListField(d.ExecApp[0], &cursor) ||
      !NextListField(d.ExecApp[1], &cursor)) {
    return RefuseList(buffers, "ExecApp");
  }
  return 1;
}

// The options of the installer's DirectX page: core runtime always, the
// DirectDraw and DirectSound drivers as bits 0 and 1 of the value ask.
uint32_t LoadInstallDirectX() {
  int32_t value = 0;
  if (!ReadSetupInt("InstallDirectX", &value)) return 0;
  return 0x10000u | ((value & 1) ? 0x8u : 0u) | ((value & 2) ? 0x10u : 0u);
}

void LoadOptions(LoadBuffers& buffers) {
  InstallDescriptionRecord& d = InstallDescription;
  ReadSetupStringOr("GameClass", UpdaterSettings.GameClass, kPathSize,
                    UpdaterSettings.GameTitle);
  d.DefaultSelect = 0;
  ReadSetupInt("DefaultSelect", &d.DefaultSelect);
  for (int s = 0; s < d.InstallSelects; ++s) {
    char number[20];
    d.InstallSize[s] =
        ReadSetupString(NumberedKey(buffers, "InstallSize%i", s), number,
                        sizeof number)
            ? std::strtoull(number, nullptr, 10)
            : 0;
  }
  for (int n = 0; n < 10; ++n) {
    ReadSetupString(NumberedKey(buffers, "DiskCheckFile%i", n),
                    d.DiskCheckFile[n], kPathSize);
  }
}

void LoadMessagesAndSwitches() {
  InstallDescriptionRecord& d = InstallDescription;
  d.InstallDirectX = LoadInstallDirectX();
  ReadSetupStringOr("InstallDXMessage", d.InstallDXMessage,
                    sizeof d.InstallDXMessage,
                    "ＤｉｒｅｃｔＸをインストールする");
  ReadSetupStringOr("SelectSetupMessage", d.SelectSetupMessage,
                    sizeof d.SelectSetupMessage,
                    "インストール方法を選択して下さい");
  d.UseCompanyNameForShortcutGroup =
      ReadSetupFlag("UseCompanyNameForShortcutGroup");
  d.ChooseSaveDataFolder = ReadSetupFlag("ChooseSaveDataFolder");
  ReadSetupStringOr("SaveDataFolderName", d.SaveDataFolderName, kPathSize,
                    UpdaterSettings.GameDir);
}

}  // namespace

int LoadInstallDescription() {
  LoadBuffers buffers;
  if (!LoadIdentity() || !LoadSetupBmps(buffers) || !LoadChoices(buffers) ||
      !LoadShortcuts(buffers)) {
    return 0;
  }
  // Everything from here on is optional, except that a given ExecApp must
  // be whole.
  LoadOptions(buffers);
  if (!LoadExecApp(buffers)) return 0;
  LoadMessagesAndSwitches();
  return 1;
}

void ResetInstallDescription() {
  std::memset(&InstallDescription, 0, sizeof InstallDescription);
}
