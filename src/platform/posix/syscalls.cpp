#include "platform/posix/syscalls.h"

#include <unistd.h>

const PosixSyscalls kPosixSystemCalls = {statvfs, write, pread};
PosixSyscalls gPosixSyscalls = kPosixSystemCalls;
