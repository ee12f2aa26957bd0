// Fuzzes the SETUP.INI loader: the input, after a [SETUP] line so that the
// keys are reached, is written to a temporary file and loaded. Error boxes
// are answered by a script. A load that succeeds must hold its limits and
// leave every string terminated inside its buffer.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/state.h"
#include "posix_hooks.h"
#include "profile/install_description.h"
#include "profile/profile.h"

namespace {

PlatAnswer AnswerOk(void*, PlatWindow, const char*, const char*, PlatButtons,
                    PlatIcon) {
  return kPlatIdOk;
}

template <size_t N>
void CheckTerminated(const char (&text)[N]) {
  if (!std::memchr(text, 0, N)) std::abort();
}

void CheckRecord() {
  const InstallDescriptionRecord& d = InstallDescription;
  if (d.InstallSelects > 3 || d.Shortcuts > 10) std::abort();
  CheckTerminated(d.GameExe);
  CheckTerminated(d.UninstExe);
  for (const auto& name : d.SetupBmp) CheckTerminated(name);
  // A field may be empty after a disk prefix ("1:"), so only the ends of
  // the strings are checked, not that they hold something.
  for (int s = 0; s < d.InstallSelects; ++s) {
    CheckTerminated(d.InstallTitle[s]);
    for (const auto& name : d.InstallFiles[s]) CheckTerminated(name);
    for (int disk : d.InstallFileDisk[s]) {
      if (disk < 0 || disk > 9) std::abort();
    }
  }
  for (int s = 0; s < d.Shortcuts; ++s) {
    for (const auto& field : d.Shortcut[s]) CheckTerminated(field);
  }
  for (const auto& name : d.DiskCheckFile) CheckTerminated(name);
  CheckTerminated(d.ExecApp[0]);
  CheckTerminated(d.ExecApp[1]);
  CheckTerminated(d.InstallDXMessage);
  CheckTerminated(d.SelectSetupMessage);
  CheckTerminated(d.SaveDataFolderName);
  CheckTerminated(UpdaterSettings.GameClass);
  if ((d.InstallDirectX & ~0x10018u) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const PosixUiDriver driver = {&AnswerOk, nullptr, nullptr};
  PosixSetUiDriver(&driver);
  ResetUpdaterState();
  ResetProfileState();
  ResetInstallDescription();
  std::snprintf(SetupIniPath, sizeof SetupIniPath, "/tmp/fuzz_setup_%d.ini",
                static_cast<int>(getpid()));
  std::FILE* file = std::fopen(SetupIniPath, "wb");
  if (!file) std::abort();
  std::fputs("[SETUP]\r\n", file);
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  if (LoadInstallDescription()) CheckRecord();
  std::remove(SetupIniPath);
  return 0;
}
