// Reading the two INI profiles (the temporary UPDATE.INI, the installed
// SETUP.INI) and splitting list values into fields.
#pragma once
#include <cstdint>

extern char SetupIniPath[260];
extern char UpdateIniPath[260];
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

// Integer key of [SETUP] in SETUP.INI, converted like strtol with clamping.
int ReadSetupInt(const char* key, int32_t* value);

// Next field of a comma-separated list into a 260-byte slot; 0 at the end.
int NextListField(char* dest, const char** cursor);

void ResetProfileState();
