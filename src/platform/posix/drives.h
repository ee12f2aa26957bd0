// The drive table: which drive letters exist and which folder each stands
// for. Every drive in it is a CD-ROM drive (see README.md for its sources).
#pragma once
#include <cstddef>

// Writes the folder of drive `letter` ('A' to 'Z') to `folder`. False when
// the drive is not in the table or its folder does not fit.
bool LookUpDrive(char letter, char* folder, size_t capacity);

// The folder of drive `letter` among the optical media (iso9660, udf) of a
// mount table in the form of /proc/self/mounts: the first is D:, the next
// E:, and so on.
bool LookUpMountedDisc(const char* mountTable, char letter, char* folder, size_t capacity);
