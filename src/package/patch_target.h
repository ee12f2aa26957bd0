// A patch entry against the file installed at its target: which old version
// the file is, looked at before anything of the run is written.
#pragma once
#include <cstdint>

#include "core/crc32.h"
#include "core/package_format.h"

// The CRC-32 tables of the run, filled once on the main thread before any
// worker starts.
extern Crc32Table RunCrcTable;

enum class TargetMatch {
  Version,   // one of the entry's old versions: `*version` says which
  Done,      // already the result: nothing to write
  Whole,     // neither, but the entry carries the whole file
  Mismatch,  // neither, or missing or unreadable, and no whole file
  Damaged,   // the entry's own record does not hang together
};

// Sizes and CRC-32 of the file at `target` against the patch entry `entry`,
// whose data is at `data`.
TargetMatch MatchTarget(const char* target, const PackageEntry& entry,
                        const uint8_t* data, uint32_t* version);
