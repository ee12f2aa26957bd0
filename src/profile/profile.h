// Reading the two INI profiles (the temporary UPDATE.INI, the installed
// SETUP.INI) and splitting list values into fields.
#pragma once
#include <cstdint>

#include "core/text_sizes.h"

extern char SetupIniPath[kPathSize];
extern char UpdateIniPath[kPathSize];
extern int OptionalKeysMode;
extern int CurrentDiskNumber;

// Error box of the profile layer: caption "INSTCMMN", stop icon, OK.
int ShowSetupError(const char* text);

// Key of [SETUP] in SETUP.INI; 1 when present and not empty. Never reports.
int ReadSetupString(const char* key, char* dest, uint32_t capacity);

// Key of any section of UPDATE.INI; 1 when present and not empty. Reports a
// missing key while OptionalKeysMode is 0.
int ReadProfileString(const char* section, const char* key, char* dest,
                      uint32_t capacity);

// Key of a section of the INI file at `path`, read as the two above read
// it but never reported: 1 when present and not empty, and `dest` all
// zeros whenever nothing was read.
int ReadProfileKey(const char* path, const char* section, const char* key,
                   char* dest, uint32_t capacity);

// Integer key of [SETUP] in SETUP.INI, converted like strtol with clamping.
int ReadSetupInt(const char* key, int32_t* value);

// Next field of a comma-separated list into a kPathSize-byte slot; 0 at the end.
int NextListField(char* dest, const char** cursor);

// What the tokenizer drops and where it stops, for a checker; the updater
// itself never asks.
//
// The "N:" disk prefix that NextListField drops from the field at `cursor`,
// or null when that field has none.
const char* ListFieldPrefix(const char* cursor);

enum ListStop {
  kListEnd,           // the text ended
  kListEmptyField,    // an empty field ends the list
  kListFieldTooLong,  // a field too long for its slot ends the list
};
// Why NextListField gave no field at `cursor`, and the text it never read
// (null at the end).
ListStop ListStopAt(const char* cursor, const char** unread);

void ResetProfileState();
