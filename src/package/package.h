// The update package: header, directory and the package state of the run.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/package_format.h"
#include "core/sjis.h"

// The directory block: the 16 header bytes as they stand in the package, then
// EntryCount records of 280 bytes each, in package order.
typedef uint8_t PackageDirectory;

extern const uint8_t* PackageImage;
extern uint32_t PackageImageSize;
extern PackageDirectory* OpenDirectory;    // from OpenPackage until clean-up
extern const uint8_t* DirectoryEntries;  // OpenDirectory + 16

// Back to the state at program start, the directory freed (for tests).
void ResetPackageState();

// Opens PackageImage / PackageImageSize: a new directory block from
// std::malloc (the caller frees it), or null for a package that is damaged or
// does not fit in memory.
PackageDirectory* OpenPackage();

// Why a package was refused, for the tools that tell their user.
enum class PackageFault {
  None,
  TooSmall,            // no room for the header
  BadMagic,
  DirectoryOutside,    // DirectoryOffset before the data area or past the end
  TooManyEntries,      // more than the directory's bytes can hold
  OutOfMemory,
  DirectoryDamaged,    // compressed directory not exactly EntryCount records
  NameNotTerminated,   // `entry`'s Name has no NUL in its 260 bytes
  StoredSizeMismatch,  // `entry` is stored plain but its two sizes differ
  DataOutside,         // `entry`'s data runs past the directory's start
};
struct PackageCheck {
  PackageFault fault;
  uint32_t entry;
};

// The same over any image, for the tools; `check`, when given, says why a
// package was refused.
PackageDirectory* OpenPackageImage(const uint8_t* image, uint32_t size,
                                   PackageCheck* check = nullptr);

// Entry count of an opened directory block.
uint32_t DirectoryEntryCount(const PackageDirectory* directory);

// Entry names compared as the lookup compares them.
inline bool EntryNamesEqual(const char* a, const char* b) {
  return SjisEqualIgnoreCase(a, b);
}

// Looks up `name` among the `count` records at `records` ignoring case
// (ASCII letters fold; double-byte characters compare byte for byte),
// walking from the first; the first match wins. Gives its record and the
// data offset. False when there is none.
bool FindEntryIn(const uint8_t* records, uint32_t count, const char* name,
                 PackageEntry* entry, uint32_t* dataOffset);

// The same in an opened directory block.
inline bool FindPackageEntry(const PackageDirectory* directory, const char* name,
                             PackageEntry* entry, uint32_t* dataOffset) {
  return FindEntryIn(directory + kPackageHeaderSize, DirectoryEntryCount(directory), name,
                     entry, dataOffset);
}

// The same in the run's package, through DirectoryEntries; false before it
// is opened.
bool FindOpenEntry(const char* name, PackageEntry* entry, uint32_t* dataOffset);
