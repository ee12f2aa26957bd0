// Writing the integrity record that an updater carries beside its package
// (the layout is in core/integrity.h).
#pragma once
#include <cstdint>
#include <vector>

#include "core/integrity.h"
#include "package/package.h"

// The CRC-32 tables, built on first use.
const Crc32Table& Crc32Tables();

// The CRC-32 of each entry's stored bytes, in directory order, for a package
// whose directory OpenPackageImage gave.
std::vector<uint32_t> StoredEntryCrcs(const uint8_t* package,
                                      const PackageDirectory* directory);

// The record of a package; false, with `record` untouched, when the package
// does not open.
bool BuildIntegrityRecord(const uint8_t* package, uint32_t size,
                          std::vector<uint8_t>* record);
