// Setters of the test hooks; the parts of the layer read gPosixHooks.
#include <cstring>

#include "platform/posix/hook_state.h"

namespace {
constexpr PosixHookState kNoHooks = {false, 0, false, false, 0, false, {}, 0, "", "", -1};
}

PosixHookState gPosixHooks = kNoHooks;

void PosixSetFreeBytes(uint64_t bytes) {
  gPosixHooks.freeBytesSet = true;
  gPosixHooks.freeBytes = bytes;
}

void PosixFailDiskQuery(bool fail) { gPosixHooks.failDiskQuery = fail; }

void PosixFailWritesAfter(uint64_t bytes) {
  gPosixHooks.writeBudgetSet = true;
  gPosixHooks.writeBudget = bytes;
}

void PosixSetUiDriver(const PosixUiDriver* driver) {
  gPosixHooks.driverSet = driver != nullptr;
  gPosixHooks.driver = driver ? *driver : PosixUiDriver{};
}

int PosixBringToFrontCount() { return gPosixHooks.frontCount; }
const char* PosixLastFrontClass() { return gPosixHooks.frontClass; }
const char* PosixLastFrontTitle() { return gPosixHooks.frontTitle; }

void PosixAbortCopyAfter(int files) { gPosixHooks.copyAbortAfter = files; }

void PosixResetHooks() {
  gPosixHooks = kNoHooks;
}
