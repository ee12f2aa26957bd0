// Shared helpers of the updpack verbs.
#include "tool_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "host.h"

namespace {

constexpr uint64_t kMaxFileSize = 0xFFFFFFFFu;
constexpr uint64_t kProgressThreshold = 4u << 20;
// FILETIME ticks are 100 ns; 1601-01-01 lies 134774 days before 1970-01-01.
constexpr uint64_t kTicksPerSecond = 10000000;
constexpr int64_t kDaysFrom1601To1970 = 134774;

// A name beside `path` that nothing uses yet, for the half-written copy.
fs::path TemporaryBeside(const fs::path& path) {
  for (int i = 0;; ++i) {
    fs::path candidate = path;
    candidate += ".partial" + (i ? std::to_string(i) : std::string());
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(candidate, ec))) return candidate;
  }
}

}  // namespace

fs::path PathFromUtf8(std::string_view text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

std::string Quote(const fs::path& path) {
  const std::u8string text = path.u8string();
  return "'" + std::string(text.begin(), text.end()) + "'";
}

std::vector<uint8_t> ReadWholeFileOrThrow(const fs::path& path) {
  std::error_code ec;
  const auto status = fs::status(path, ec);
  if (ec || !fs::exists(status)) {
    throw ToolError("cannot read " + Quote(path) + ": no such file");
  }
  if (fs::is_directory(status)) {
    throw ToolError("cannot read " + Quote(path) + ": it is a folder");
  }
  const uint64_t size = fs::file_size(path, ec);
  if (ec) throw ToolError("cannot read " + Quote(path) + ": " + ec.message());
  if (size > kMaxFileSize) {
    throw ToolError(Quote(path) + " is 4 GiB or larger");
  }
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (!in || !in.read(reinterpret_cast<char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()))) {
    throw ToolError("cannot read " + Quote(path));
  }
  return bytes;
}

void WriteFileReplacing(const fs::path& path, const uint8_t* data,
                        size_t size, std::optional<uint64_t> fileTime) {
  std::error_code ec;
  const fs::path folder = path.parent_path();
  if (!folder.empty() && !fs::is_directory(folder, ec)) {
    throw ToolError("cannot write " + Quote(path) + ": the folder " +
                    Quote(folder) + " does not exist");
  }
  const fs::path temporary = TemporaryBeside(path);
  try {
    {
      std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
      if (!out) throw ToolError("cannot write " + Quote(path));
      out.write(reinterpret_cast<const char*>(data),
                static_cast<std::streamsize>(size));
      out.close();
      if (!out) throw ToolError("cannot write " + Quote(path));
    }
    if (fileTime) SetFileTimes(temporary, *fileTime);
    fs::rename(temporary, path, ec);
    if (ec) {
      throw ToolError("cannot replace " + Quote(path) + ": " + ec.message());
    }
  } catch (...) {
    fs::remove(temporary, ec);
    throw;
  }
}

std::string FormatFileTime(uint64_t fileTime, bool iso) {
  using namespace std::chrono;
  const uint64_t seconds = fileTime / kTicksPerSecond;
  const int64_t days = static_cast<int64_t>(seconds / 86400);
  const uint64_t rest = seconds % 86400;
  const year_month_day date{sys_days{std::chrono::days{days - kDaysFrom1601To1970}}};
  char text[40];
  std::snprintf(text, sizeof text, iso ? "%04d-%02u-%02uT%02u:%02u:%02uZ"
                                       : "%04d-%02u-%02u %02u:%02u:%02u",
                static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()),
                static_cast<unsigned>(rest / 3600),
                static_cast<unsigned>(rest / 60 % 60),
                static_cast<unsigned>(rest % 60));
  return text;
}

std::string Hex32(uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string FormatBytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB",
                static_cast<double>(bytes) / (1 << 20));
  return text;
}

ProgressLine::ProgressLine(uint64_t workBytes)
    : enabled_(workBytes > kProgressThreshold && StderrIsTerminal()) {}

ProgressLine::~ProgressLine() { Clear(); }

void ProgressLine::Clear() {
  if (width_) std::fprintf(stderr, "\r%*s\r", static_cast<int>(width_), "");
  width_ = 0;
}

// Plain carriage returns and blanks, which every console understands.
void ProgressLine::Show(std::string_view text) {
  if (!enabled_) return;
  const std::string line = "updpack: " + std::string(text);
  const size_t pad = width_ > line.size() ? width_ - line.size() : 0;
  std::fprintf(stderr, "\r%s%*s", line.c_str(), static_cast<int>(pad), "");
  std::fflush(stderr);
  width_ = std::max(width_, line.size());
}
