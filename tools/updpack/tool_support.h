// What every verb of updpack shares: the error it throws, whole-file reads
// and replacing writes, time stamps and JSON strings as text, and the
// progress line.
#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

// A failure the user is told about as "updpack: error: <what>", exit 1.
struct ToolError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A path from UTF-8 text, such as an argument.
fs::path PathFromUtf8(std::string_view text);

// A path as the user wrote it, quoted, for messages.
std::string Quote(const fs::path& path);

// The whole file. Refuses files of 4 GiB or more, the most a package field
// can count.
std::vector<uint8_t> ReadWholeFileOrThrow(const fs::path& path);

// Writes `size` bytes beside `path` first and renames them over it only once
// they are whole, with `fileTime` (a FILETIME) as its times when given. On
// failure nothing is left at `path` that was not there before.
void WriteFileReplacing(const fs::path& path, const uint8_t* data,
                        size_t size, std::optional<uint64_t> fileTime = {});

// A FILETIME as "YYYY-MM-DD hh:mm:ss" (UTC), or ISO 8601 with `iso`.
std::string FormatFileTime(uint64_t fileTime, bool iso = false);

// A CRC-32 or other 32-bit value as 8 lowercase hex digits.
std::string Hex32(uint32_t value);

// UTF-8 text as a JSON string, quoted and escaped.
std::string JsonString(const std::string& text);

// Bytes as "12.3 MiB"-style text for progress lines.
std::string FormatBytes(uint64_t bytes);

// One line on stderr that is rewritten in place; shown only when stderr is a
// terminal and the work is large enough to make the user wait.
class ProgressLine {
 public:
  explicit ProgressLine(uint64_t workBytes);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  void Show(std::string_view text);
  void Clear();  // before other output goes to stderr

 private:
  bool enabled_;
  size_t width_ = 0;  // longest line shown, to blank it out
};
