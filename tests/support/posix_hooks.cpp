// The test side of the POSIX layer's seams: its system-call table and its
// user interface, replaced by versions that inject faults and follow a
// script, falling back to the real calls and the terminal.
#include "posix_hooks.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "platform/posix/syscalls.h"
#include "platform/posix/ui.h"
#include "platform/posix/window.h"

namespace {

struct Hooks {
  bool freeBytesSet = false;
  uint64_t freeBytes = 0;
  bool failDiskQuery = false;
  bool writeBudgetSet = false;
  uint64_t writeBudget = 0;
  bool readBudgetSet = false;
  uint64_t readBudget = 0;
  bool driverSet = false;
  PosixUiDriver driver = {};
  int copyAbortAfter = -1;  // negative: no stop
  int frontCount = 0;
  std::string frontClass;
  std::string frontTitle;
};
Hooks gHooks;

int Statvfs(const char* path, struct statvfs* info) {
  if (gHooks.failDiskQuery) {
    errno = EIO;
    return -1;
  }
  if (kPosixSystemCalls.xStatvfs(path, info) != 0) return -1;
  if (gHooks.freeBytesSet) {
    // Counted in bytes, so that any figure can be given exactly.
    info->f_blocks *= info->f_frsize;
    info->f_frsize = 1;
    info->f_bavail = info->f_bfree = gHooks.freeBytes;
  }
  return 0;
}

// The window table's entries are bookkeeping, not the player's files.
bool WritesWindowTable(int fd) {
  char link[64];
  char path[PATH_MAX];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, path, sizeof path - 1);
  if (n <= 0) return false;
  path[n] = '\0';
  std::string folder;
  if (const char* named = std::getenv("UPDATER_WINDOWS"); named && *named) {
    folder = named;
  } else {
    char temp[PATH_MAX];
    if (!PlatTempFolder(temp, sizeof temp)) return false;
    folder = std::string(temp) + "updater-windows-" + std::to_string(getuid());
  }
  char real[PATH_MAX];
  if (!realpath(folder.c_str(), real)) return false;
  const std::string prefix = std::string(real) + "/";
  return std::string(path).compare(0, prefix.size(), prefix) == 0;
}

ssize_t Write(int fd, const void* data, size_t size) {
  if (!gHooks.writeBudgetSet || WritesWindowTable(fd)) {
    return kPosixSystemCalls.xWrite(fd, data, size);
  }
  if (gHooks.writeBudget == 0 && size > 0) {
    errno = ENOSPC;
    return -1;
  }
  const size_t allowed =
      static_cast<size_t>(std::min<uint64_t>(size, gHooks.writeBudget));
  const ssize_t written = kPosixSystemCalls.xWrite(fd, data, allowed);
  if (written > 0) gHooks.writeBudget -= static_cast<uint64_t>(written);
  return written;
}

ssize_t Pread(int fd, void* data, size_t size, off_t offset) {
  if (!gHooks.readBudgetSet) return kPosixSystemCalls.xPread(fd, data, size, offset);
  if (gHooks.readBudget < size) {
    errno = EIO;
    return -1;
  }
  const ssize_t read = kPosixSystemCalls.xPread(fd, data, size, offset);
  if (read > 0) gHooks.readBudget -= static_cast<uint64_t>(read);
  return read;
}

PlatAnswer MessageBox(void*, PlatWindow owner, const char* text,
                      const char* caption, PlatButtons buttons, PlatIcon icon) {
  if (gHooks.driverSet) {
    return gHooks.driver.messageBox(gHooks.driver.ctx, owner, text, caption,
                                    buttons, icon);
  }
  return kPosixTerminalUi.messageBox(kPosixTerminalUi.ctx, owner, text,
                                     caption, buttons, icon);
}

int DialogInput(void*, PlatWindow dialog) {
  if (gHooks.driverSet) return gHooks.driver.dialogInput(gHooks.driver.ctx, dialog);
  return kPosixTerminalUi.dialogInput(kPosixTerminalUi.ctx, dialog);
}

// A script reads what the dialog shows when it is asked; the terminal
// shows it as it comes.
void ShowInfo(void*, const char* text) {
  if (!gHooks.driverSet) kPosixTerminalUi.showInfo(kPosixTerminalUi.ctx, text);
}

void WhileBusy(void*, PlatWindow dialog) {
  if (gHooks.driverSet && gHooks.driver.whileBusy)
    gHooks.driver.whileBusy(gHooks.driver.ctx, dialog);
}

void ShowProgress(void*, int permille) {
  if (gHooks.driverSet && gHooks.driver.showProgress)
    gHooks.driver.showProgress(gHooks.driver.ctx, permille);
}

bool StopCopy(void*, int filesCopied) {
  if (gHooks.copyAbortAfter < 0 || filesCopied < gHooks.copyAbortAfter) {
    return false;
  }
  gHooks.copyAbortAfter = -1;  // the stop was for this copy only
  return true;
}

void BroughtToFront(void*, PlatWindow window) {
  ++gHooks.frontCount;
  gHooks.frontClass = window->className;
  gHooks.frontTitle = window->title;
  kPosixTerminalUi.broughtToFront(kPosixTerminalUi.ctx, window);
}

// The test versions stand in as soon as a test touches a hook; without a
// fault set they do what the real ones do.
void Install() {
  static const PosixUi ui = {MessageBox, DialogInput,    ShowInfo, StopCopy,
                             BroughtToFront, nullptr, WhileBusy, ShowProgress};
  PosixSetUi(&ui);
  gPosixSyscalls = {Statvfs, Write, Pread};
}

}  // namespace

void PosixSetFreeBytes(uint64_t bytes) {
  Install();
  gHooks.freeBytesSet = true;
  gHooks.freeBytes = bytes;
}

void PosixFailDiskQuery(bool fail) {
  Install();
  gHooks.failDiskQuery = fail;
}

void PosixFailWritesAfter(uint64_t bytes) {
  Install();
  gHooks.writeBudgetSet = true;
  gHooks.writeBudget = bytes;
}

void PosixSetUiDriver(const PosixUiDriver* driver) {
  Install();
  gHooks.driverSet = driver != nullptr;
  gHooks.driver = driver ? *driver : PosixUiDriver{};
}

void PosixAbortCopyAfter(int files) {
  Install();
  gHooks.copyAbortAfter = files;
}

int PosixBringToFrontCount() { return gHooks.frontCount; }
const char* PosixLastFrontClass() { return gHooks.frontClass.c_str(); }
const char* PosixLastFrontTitle() { return gHooks.frontTitle.c_str(); }

void PosixFailReadsAfter(uint64_t bytes) {
  Install();
  gHooks.readBudgetSet = true;
  gHooks.readBudget = bytes;
}

void PosixResetHooks() {
  gHooks = Hooks{};
  // Counting starts at once: a window may come to the front before any
  // other hook is touched.
  Install();
}
