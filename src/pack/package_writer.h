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
  // Earlier versions of the file a player may have: the entry becomes a
  // patch entry when their patches together are smaller than the file as
  // `storage` keeps it. Versions equal to `data`, or to one before, need no
  // patch of their own.
  std::vector<std::vector<uint8_t>> oldVersions = {};
  bool keepWhole = false;  // a patch entry also carries the whole file
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

// One entry's data as the package stores it: `block` when `flags` is
// kEntryFlagCompressed or kEntryFlagPatch, otherwise the input's own bytes
// (and `block` is empty).
struct EncodedEntry {
  uint32_t flags = 0;
  std::vector<uint8_t> block;
  // What was weighed, for the tools to tell: the whole file's stored size,
  // and each distinct old version's patch size (empty without any).
  uint32_t wholeSize = 0;
  std::vector<uint32_t> patchSizes;
};

// Names and sizes that a package cannot hold, found before any work is done.
PackageWriteStatus CheckPackageInputs(const std::vector<PackageInput>& inputs);

// The entry as its storage asks. Entries are independent of each other, so
// callers may encode them in any order, on any thread.
EncodedEntry EncodeEntry(const PackageInput& input, CompressLevel level);

// The package for `inputs` in this order, with `encoded[i]` the encoding of
// `inputs[i]`: header, each entry's data padded with zeros to 16 bytes, then
// the directory. Each block is freed once it is in the image. `image` is left
// empty unless the result is Ok.
PackageWriteStatus LayOutPackage(const std::vector<PackageInput>& inputs,
                                 std::vector<EncodedEntry> encoded,
                                 const PackageOptions& options,
                                 std::vector<uint8_t>* image);

// Checks, encodes every entry in turn and lays out. The same inputs always
// give the same bytes.
PackageWriteStatus BuildPackage(const std::vector<PackageInput>& inputs,
                                const PackageOptions& options,
                                std::vector<uint8_t>* image);
