// Start-up and clean-up: from the package to the wizard and back out.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/caption.h"
#include "core/integrity.h"
#include "package/decompress.h"
#include "package/extract.h"
#include "package/package.h"
#include "package/patch_target.h"
#include "profile/install_description.h"
#include "profile/profile.h"
#include "updater/updater.h"

void ConvertMessageEscapes(char* dest, const char* source) {
  while (*source != '\0') {
    if (SjisCharLength(source) == 2) {
      *dest++ = *source++;
      *dest++ = *source++;
    } else if (*source == '\\' && source[1] == 'n') {
      *dest++ = '\r';
      source += 2;
    } else {
      *dest++ = *source++;
    }
  }
  *dest = '\0';
}

// The folder of our own that holds the temporary UPDATE.INI, and the file
// held open while it is read, so that no other program can change it.
static char UpdateIniFolder[kPathSize];
static PlatHeldFile HeldUpdateIni;

void ShutdownCleanup() {
  if (OpenDirectory != nullptr) {
    std::free(OpenDirectory);
    OpenDirectory = nullptr;
    DirectoryEntries = nullptr;
  }
  PlatReleaseFile(HeldUpdateIni);
  HeldUpdateIni = nullptr;
  PlatDeleteFile(UpdateIniPath);
  if (UpdateIniFolder[0] != '\0') PlatRemoveFolder(UpdateIniFolder);
  UpdateIniFolder[0] = '\0';
}

// Start-up's stops all end the same way.
static int Stop() {
  ShutdownCleanup();
  return 0;
}

static int StopWith(const char* message) {
  ShowUpdaterError(message);
  return Stop();
}

// UPDATE.INI goes into a fresh folder of our own, so a file or folder that
// another program left or made in the temporary folder plays no part.
static bool ExtractUpdateIni() {
  if (!PlatMakePrivateFolder(UpdateIniFolder, sizeof UpdateIniFolder)) {
    UpdateIniFolder[0] = '\0';
    return false;
  }
  std::memcpy(UpdateIniPath, UpdateIniFolder, sizeof UpdateIniPath);
  if (!AppendPathComponent(UpdateIniPath, "UPDATE.INI")) {
    // Nothing of ours is there to delete at clean-up but the folder.
    std::memset(UpdateIniPath, 0, sizeof UpdateIniPath);
    return false;
  }
  if (!ExtractEntry(UpdateIniPath, "UPDATE.INI", 0)) return false;
  HeldUpdateIni = PlatHoldFile(UpdateIniPath);
  return HeldUpdateIni != nullptr;
}

static bool ReadSettings() {
  struct Key {
    const char* name;
    char* field;
    uint32_t capacity;
  };
  UpdaterSettingsRecord& s = UpdaterSettings;
  const Key required[] = {{"CompanyName", s.CompanyName, kPathSize},
                          {"GameTitle", s.GameTitle, kPathSize},
                          {"GameClass", s.GameClass, kPathSize},
                          {"GameDir", s.GameDir, kPathSize}};
  for (const Key& key : required) {
    if (!ReadProfileString("SETUP", key.name, key.field, key.capacity)) {
      return false;
    }
  }
  OptionalKeysMode = 1;
  const Key optional[] = {{"GameTitleA", s.GameTitleA, kPathSize},
                          {"UpdaterVersion", s.UpdaterVersion, kPathSize},
                          {"UpdaterTitle", s.UpdaterTitle, kPathSize},
                          {"DataFolder", s.DataFolder, kPathSize},
                          {"UpdateMessage", s.UpdateMessage, kMessageSize}};
  for (const Key& key : optional) {
    ReadProfileString("SETUP", key.name, key.field, key.capacity);
  }
  return true;
}

// True when the installer's record names an installation.
static bool ReadInstallRecord() {
  char subKey[kMessageSize];
  std::snprintf(subKey, sizeof subKey, "Software\\%s\\%s",
                UpdaterSettings.CompanyName, UpdaterSettings.GameDir);
  PlatInstallValues values = {};
  PlatReadInstallValues(subKey, &values);
  if (!values.keyOpened || !values.hasInstPath || !values.hasInstMode) {
    return false;
  }
  std::memcpy(InstallRecord.InstPath, values.instPath, kPathSize);
  InstallRecord.InstPath[kPathSize - 1] = '\0';
  if (values.hasDataPath) {
    std::memcpy(InstallRecord.DataPath, values.dataPath, kPathSize);
    InstallRecord.DataPath[kPathSize - 1] = '\0';
  } else {
    InstallRecord.DataPath[0] = '\0';
  }
  InstallRecord.InstMode = values.instMode;
  InstallRecord.InstAdd = values.hasInstAdd ? values.instAdd : 0;
  return true;
}

static bool SetupIniExists() {
  std::memcpy(SetupIniPath, InstallRecord.InstPath, kPathSize);
  unsigned attributes = 0;
  // A path too long to join is no SETUP.INI we could read.
  return AppendPathComponent(SetupIniPath, "SETUP.INI") &&
         PlatGetAttributes(SetupIniPath, &attributes);
}

static void BuildWindowCaption() {
  if (UpdaterSettings.UpdaterTitle[0] != '\0') {
    std::snprintf(WindowCaption, sizeof WindowCaption, "%s",
                  UpdaterSettings.UpdaterTitle);
  } else {
    std::snprintf(WindowCaption, sizeof WindowCaption,
                  "%s " UPD_CAPTION_WORD " %s",
                  UpdaterSettings.GameTitle, UpdaterSettings.UpdaterVersion);
  }
}

// Asks the player to quit the game while a window of it is found under
// `title`. False when the player chose to stop the update.
static bool WaitForGameToQuit(const char* title) {
  for (;;) {
    PlatWindow game = PlatFindWindow(UpdaterSettings.GameClass, title);
    if (game == nullptr) return true;
    char prompt[kMessageSize];
    std::snprintf(prompt, sizeof prompt,
                  "「%s」が実行中です。アップデートを続行する場合はゲームを終了"
                  "してから [OK] を、アップデートを中止する場合は [キャンセル] "
                  "を押して下さい",
                  title);
    if (PlatMessageBox(nullptr, prompt, WindowCaption, kPlatButtonsOkCancel,
                       kPlatIconNone) != kPlatIdOk) {
      PlatBringToFront(game);
      return false;
    }
  }
}

// A package with an integrity record must be the one it was made for. One
// without a record is taken as it stands.
static bool PackageIsIntact(const uint8_t* package, uint32_t size) {
  const uint8_t* record = nullptr;
  uint32_t recordSize = 0;
  if (!PlatLocateIntegrityRecord(&record, &recordSize)) return true;
  // Each slice is let go once summed: the package is never all resident.
  return PackageMatchesRecord(RunCrcTable, record, recordSize, package, size,
                              [](const uint8_t* slice, size_t length) {
                                PlatReleasePackageBytes(slice, uint32_t(length));
                              });
}

int UpdaterMain() {
  PlatInitialize();
  // On this thread, before anything decodes: the decoding threads of the
  // run only read what it chose.
  PrepareDecoder();
  // Zeroed memory, filled here: the tables cost the executable no bytes.
  BuildCrc32Table(&RunCrcTable);

  const uint8_t* image = nullptr;
  uint32_t size = 0;
  if (!PlatLocatePackage(&image, &size) || size == 0) {
    return StopWith("UPDATE.QW3 not found");
  }
  PackageImage = image;
  PackageImageSize = size;
  if (!PackageIsIntact(image, size)) return StopWith("RESOURCE READ ERROR");
  OpenDirectory = OpenPackage();
  if (OpenDirectory == nullptr) return StopWith("RESOURCE READ ERROR");
  DirectoryEntries = OpenDirectory + kPackageHeaderSize;

  if (!ExtractUpdateIni()) {
    return StopWith("UPDATE.INI not found at UPDATE.QW3");
  }
  // The reader has reported the missing key itself.
  if (!ReadSettings()) return Stop();

  if (!ReadInstallRecord()) {
    char message[kMessageSize];
    std::snprintf(message, sizeof message, "「%s」がインストールされていません",
                  UpdaterSettings.GameTitle);
    return StopWith(message);
  }
  if (UpdaterSettings.UpdateMessage[0] != '\0') {
    char message[kMessageSize];
    ConvertMessageEscapes(message, UpdaterSettings.UpdateMessage);
    ShowUpdaterError(message);
  }
  if (!SetupIniExists()) {
    return StopWith(
        "インストール先に \"SETUP.INI\" ファイルが見つかりません");
  }
  // The loader has said what it found wrong, if anything.
  if (!LoadInstallDescription()) return Stop();

  BuildWindowCaption();
  if (PlatWindow other = PlatFindWindow(nullptr, WindowCaption)) {
    PlatBringToFront(other);
    return Stop();
  }
  if (!WaitForGameToQuit(UpdaterSettings.GameTitle)) return Stop();
  if (UpdaterSettings.GameTitleA[0] != '\0' &&
      !WaitForGameToQuit(UpdaterSettings.GameTitleA)) {
    return Stop();
  }

  const intptr_t result = PlatRunDialog(UpdateDialogProc);
  // The dialog is gone: later boxes must not name it as their owner.
  DialogWindow = nullptr;
  if (result != 0) return StopWith("アップデートが中断されました");
  ShutdownCleanup();
  return 1;
}

void ResetProgramState() {
  PlatReleaseFile(HeldUpdateIni);
  HeldUpdateIni = nullptr;
  UpdateIniFolder[0] = '\0';
  std::memset(&InstallRecord, 0, sizeof InstallRecord);
  DialogPage = 0;
  DialogBusy = 0;
  UpdateItemCount = 0;
  CopyItemCount = 0;
}
