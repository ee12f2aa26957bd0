// Building a whole package image from a list of entries.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pack/compress.h"

enum class EntryStorage {
  Stored,      // the bytes as they are
  Compressed,  // always a block
  Smaller,     // a block unless it would not be smaller than the bytes
};

struct PackageInput {
  std::string name;  // Shift-JIS, 1 to 259 bytes, no NUL
  std::vector<uint8_t> data;
  uint64_t lastWriteTime;  // FILETIME
  EntryStorage storage;
};

struct PackageOptions {
  CompressLevel level = CompressLevel::Best;
  bool compressDirectory = false;
};

enum class PackageWriteResult {
  Ok,
  BadName,          // `entry`'s name is empty, has a NUL or is 260 bytes or more
  EntryTooLarge,    // `entry`'s data is 4 GiB or more
  PackageTooLarge,  // the whole package would be 4 GiB or more
};

struct PackageWriteStatus {
  PackageWriteResult result;
  size_t entry;
};

// Called before each entry is encoded, for progress reports.
using PackageProgress = void (*)(void* context, size_t entry, size_t count);

// The package for `inputs` in this order: header, each entry's data padded
// with zeros to 16 bytes, then the directory. The same inputs always give the
// same bytes. `image` is left empty unless the result is Ok.
PackageWriteStatus BuildPackage(const std::vector<PackageInput>& inputs,
                                const PackageOptions& options,
                                std::vector<uint8_t>* image,
                                PackageProgress progress = nullptr,
                                void* progressContext = nullptr);
