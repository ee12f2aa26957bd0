// Writing one package entry to a file, and the whole-file and volume helpers.
#pragma once
#include <cstdint>

// Writes the entry `name` to `target` (see the update package description):
// 1 when written or spared by the newer-only rule, 0 on failure. A patch
// entry applies its old version `patchVersion` to the file at `target`, or
// with kWholeFile writes the whole file it carries (none: a failure).
constexpr int32_t kWholeFile = -1;
int ExtractEntry(const char* target, const char* name, int newerOnly,
                 int32_t patchVersion = kWholeFile);

// Whether the file at `target` was last written after `entryTime`, which
// the newer-only rule spares.
bool NewerThanEntry(const char* target, uint64_t entryTime);

// Bytes written to files by ExtractEntry and WriteWholeFile so far, in this
// process; any thread may ask, while they write.
uint64_t ExtractedBytes();

// Creates or replaces the file, which changes only once it is whole; 1 on success, 0 on failure.
int WriteWholeFile(const char* path, const void* data, uint32_t size,
                   const uint64_t* fileTime);

// The whole file in a buffer from std::malloc, or null; `size` untouched on
// failure.
uint8_t* ReadWholeFile(const char* path, uint32_t* size);

// How many bytes the volume that holds `path` lacks for `needed` more, and
// in `root` (room for kPathSize) the root asked. 0 when they fit, and when
// the free space cannot be read: each write then reports for itself.
uint64_t DiskShortfall(const char* path, uint64_t needed, char* root);

// Free bytes for the caller, total bytes, total free bytes (may be null).
int QueryDiskSpace(const char* root, uint64_t* freeForCaller, uint64_t* total,
                   uint64_t* totalFree);
