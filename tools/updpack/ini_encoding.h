// The updater reads UPDATE.INI as Shift-JIS bytes, but today's editors save
// UTF-8. This tells the two apart and turns UTF-8 text into the Shift-JIS
// that the updater reads as meant.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tool_support.h"

// How an UPDATE.INI is taken: detected, or as the user says.
enum class IniEncoding { Auto, ShiftJis, Utf8 };

// The names of --ini-encoding, in the order of the enum.
IniEncoding IniEncodingNamed(const std::string& name);

// Where a file shows itself to be UTF-8.
struct Utf8Evidence {
  bool byteOrderMark = false;
  bool markAlone = false;  // the mark, and no other non-ASCII text
  int line = 1;        // the first line with non-ASCII text (1 for a mark alone)
  std::string key;     // that line's INI key, or "line N" when it has none
  std::string text;    // the line as written, UTF-8, cut for a message
  std::string shown;   // the same bytes read as Shift-JIS, as UTF-8, cut
};

// Evidence that the text is UTF-8 rather than Shift-JIS: it begins with the
// UTF-8 byte-order mark, or its non-ASCII bytes are all valid UTF-8 (a
// Shift-JIS text of a few characters is almost never that). Nothing for
// Shift-JIS and for plain ASCII.
std::optional<Utf8Evidence> FindUtf8Text(std::string_view text);

// The finding's text for the evidence: the line, and what the updater
// would show in place of what was written.
std::string DescribeUtf8(const Utf8Evidence& evidence);

// UTF-8 text as the Shift-JIS the updater reads: the byte-order mark
// dropped, every line (where the updater's reader ends one: CR LF, LF or a
// lone CR) ended with CR LF. Nothing when a byte is not UTF-8 or
// a character has no Shift-JIS form; `failure` then names its line and it.
std::optional<std::string> Utf8IniToShiftJis(std::string_view text,
                                             std::string* failure);

// Converted text in a file of its own, for the profile reader, with the
// time of the file it came from when given (the time it is packed with).
// Removed with the object.
class ConvertedIniFile {
 public:
  ConvertedIniFile(const std::string& text, std::optional<uint64_t> fileTime);
  ~ConvertedIniFile();
  ConvertedIniFile(const ConvertedIniFile&) = delete;
  ConvertedIniFile& operator=(const ConvertedIniFile&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path folder_;
  fs::path path_;
};
