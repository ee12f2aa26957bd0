// The state behind posix_hooks.h, read by the parts of the layer it steers.
#pragma once
#include <cstdint>

#include "platform/posix/posix_hooks.h"

struct PosixHookState {
  bool freeBytesSet;
  uint64_t freeBytes;
  bool failDiskQuery;
  bool writeBudgetSet;
  uint64_t writeBudget;  // bytes that may still be written
  bool driverSet;
  PosixUiDriver driver;
  int frontCount;
  char frontClass[260];
  char frontTitle[1024];
  int copyAbortAfter;  // negative: no abort
};

extern PosixHookState gPosixHooks;
