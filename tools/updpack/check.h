// The UPDATE.INI check that `check` and `build` share.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "package_reader.h"
#include "tool_support.h"
#include "profile/update_lines.h"

// One line that will not do what it looks like it does.
struct CheckFinding {
  bool error;  // the run would fail; otherwise a warning
  std::string key;
  std::string reason;  // UTF-8
};

// What the check knows of the package the file goes with.
struct PackageFacts {
  std::vector<std::string> names;  // entry names, Shift-JIS
  uint64_t unpackedTotal = 0;      // bytes of all entries' files
  bool Has(const std::string& entry) const;  // ignoring case, as looked up
};

PackageFacts FactsOf(const LoadedPackage& package);

// The file's path as the system's profile reader takes it. Throws
// ToolError when there is no such file or the path cannot be given.
std::string IniReaderPath(const fs::path& ini);

// Every UpdateFileNN line the updater reads from the file at `iniPath`
// (an IniReaderPath), whatever its InstMode filter, taken apart as the
// updater does.
std::vector<UpdateItem> AllUpdateItems(const std::string& iniPath);

// Reads the file through the updater's profile reader and line parsers.
// Throws ToolError when it cannot be read at all.
std::vector<CheckFinding> CheckUpdateIni(const fs::path& ini,
                                         const PackageFacts* facts);

// Prints the findings on stderr; returns the number of errors.
int PrintFindings(const fs::path& ini,
                  const std::vector<CheckFinding>& findings);
