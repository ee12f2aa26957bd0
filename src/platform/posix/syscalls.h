// The system calls of this layer that can fail in ways a test wants to
// provoke (a full disk, a volume that cannot be asked), called through one
// table. The layer starts with the real calls; a test may replace an entry
// and put the real one back, and nothing here knows what a test did.
#pragma once
#include <sys/statvfs.h>
#include <sys/types.h>

#include <cstddef>

struct PosixSyscalls {
  int (*xStatvfs)(const char* path, struct statvfs* info);
  ssize_t (*xWrite)(int fd, const void* data, size_t size);
  ssize_t (*xPread)(int fd, void* data, size_t size, off_t offset);
};

extern const PosixSyscalls kPosixSystemCalls;  // the real ones
extern PosixSyscalls gPosixSyscalls;           // the ones in use
