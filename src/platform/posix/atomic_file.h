// Replacing a file in one step: the bytes go to a temporary file in the same
// folder, which is flushed and then renamed over the target. Until the
// rename the target is untouched; after a failure no temporary file remains.
#pragma once
#include <sys/stat.h>
#include <ctime>
#include <cstddef>

#include "platform/posix/paths.h"

struct AtomicFile {
  int fd;
  char target[kPosixPathSize];
  char temp[kPosixPathSize];
};

// Creates the temporary file for `target` (a POSIX path). False on failure.
bool AtomicBegin(AtomicFile* file, const char* target);

// Appends bytes. False on failure.
bool AtomicWrite(AtomicFile* file, const void* data, size_t size);

// Gives the file `mode`, and `times` (access, modification) when not null,
// flushes it and renames it over the target. On failure the temporary file
// is removed. Either way `file` is finished.
bool AtomicCommit(AtomicFile* file, mode_t mode, const timespec* times);

// Removes the temporary file after a failure.
void AtomicAbandon(AtomicFile* file);
