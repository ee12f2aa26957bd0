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

// Key of a section of the INI file at `path`, read as the two above read
// it but never reported: 1 when present and not empty, and `dest` all
// zeros whenever nothing was read.
int ReadProfileKey(const char* path, const char* section, const char* key,
                   char* dest, uint32_t capacity);

// Integer key of [SETUP] in SETUP.INI, converted like strtol with clamping.
int ReadSetupInt(const char* key, int32_t* value);

// Why a list gave no further field.
enum ListStop {
  kListEnd,           // the text ended
  kListEmptyField,    // an empty field ends the list
  kListFieldTooLong,  // a field too long for its slot ends the list
};

// What the tokenizer dropped or where it stopped, for a checker.
struct ListFieldNote {
  const char* prefix;  // a field's "N:" disk prefix it dropped, or null
  ListStop stop;       // when no field came: why
  const char* unread;  // when no field came: the text never read, or null
};

// Next field of a comma-separated list into a 260-byte slot; 0 at the end.
int NextListField(char* dest, const char** cursor,
                  ListFieldNote* note = nullptr);

void ResetProfileState();
