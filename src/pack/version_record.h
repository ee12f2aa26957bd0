// The version record of an executable (resource type 16): the strings that
// Explorer's properties and the administrator prompt show for the file, and
// its version numbers.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pack/pe_resources.h"

struct VersionRecord {
  std::u16string companyName;
  std::u16string fileDescription;
  std::u16string fileVersion;
  std::u16string originalFilename;
  std::u16string productName;
  std::u16string productVersion;
  uint16_t fileVersionNumbers[4] = {};
  uint16_t productVersionNumbers[4] = {};
};

// The record's strings are Japanese, stored as UTF-16: language 1041 with
// code page 1200, as its translation entry says.
constexpr uint16_t kVersionRecordLanguage = 1041;

// The record's bytes, ready to be resource 1 of type 16; empty when the
// strings together are too long for its 16-bit lengths.
std::vector<uint8_t> BuildVersionRecord(const VersionRecord& record);

// Makes the record BuildVersionRecord made the program's only one. The
// resources point into `record`.
void PutVersionRecord(std::vector<PeResource>* resources,
                      const std::vector<uint8_t>& record);

// The numbers that lead a version text (ASCII, UTF-8 or Shift-JIS): up to
// four decimal numbers between dots ("1.02 beta" gives 1, 2, 0, 0; "Ver 2"
// gives 0, 0, 0, 0). False, with `fault` saying why, when one is more than
// a field holds (65535).
bool ParseVersionNumbers(std::string_view text, uint16_t numbers[4],
                         std::string* fault);
