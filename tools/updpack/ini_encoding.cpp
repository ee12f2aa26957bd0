// UTF-8 or Shift-JIS: the detector and the converter for UPDATE.INI.
#include "ini_encoding.h"

#include <cstdio>
#include <random>

#include "codepage.h"
#include "core/ini_lines.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kShownCharacters = 40;

// The length of the UTF-8 sequence at `at`, its code point in `code`; 0 when
// the bytes there are not one (overlong forms and surrogates are not).
size_t Utf8Sequence(std::string_view text, size_t at, char32_t* code) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length;
  char32_t value, least;
  if (lead < 0x80) {
    *code = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    value = value << 6 | (byte(at + i) & 0x3F);
  }
  if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return 0;
  }
  *code = value;
  return length;
}

// The start of UTF-8 text for a message, cut between characters; a byte
// that is not UTF-8 shows as U+FFFD.
std::string Cut(std::string_view text) {
  std::string out;
  size_t at = 0;
  for (size_t shown = 0; at < text.size() && shown < kShownCharacters; ++shown) {
    char32_t code;
    const size_t length = Utf8Sequence(text, at, &code);
    out += length ? text.substr(at, length) : "\xEF\xBF\xBD";
    at += length ? length : 1;
  }
  return at < text.size() ? out + "..." : out;
}

// One line as Shift-JIS; ASCII stays as it is in both.
std::optional<std::string> LineToShiftJis(std::string_view line, int number,
                                          std::string* failure) {
  std::string out;
  for (size_t at = 0; at < line.size();) {
    char32_t code;
    const size_t length = Utf8Sequence(line, at, &code);
    const std::string where = "line " + std::to_string(number) + ": ";
    if (!length) {
      char byte[8];
      std::snprintf(byte, sizeof byte, "0x%02X",
                    static_cast<unsigned char>(line[at]));
      *failure = where + "the byte " + byte + " is not UTF-8";
      return std::nullopt;
    }
    const std::string_view character = line.substr(at, length);
    if (length == 1) {
      out += character;
    } else if (const std::optional<std::string> sjis = Utf8ToCp932(character)) {
      out += *sjis;
    } else {
      char name[16];
      std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code));
      *failure = where + "'" + std::string(character) + "' (" + name +
                 ") has no Shift-JIS form";
      return std::nullopt;
    }
    at += length;
  }
  return out;
}

// The line that starts at `start`, without its end: lines end where the
// profile reader ends them.
std::string_view LineAt(std::string_view text, size_t start) {
  const char* next = text.data() + start;
  const IniSpan line = NextIniLine(&next, text.data() + text.size());
  return {line.p, line.size()};
}

// The key a line sets, as the updater reads it once build has converted
// the line to Shift-JIS (or the line as it stands where it does not
// convert); "line N" for a section header or a line that sets no key.
std::string KeyOf(std::string_view line, int number) {
  std::string failure;
  const std::optional<std::string> sjis = LineToShiftJis(line, number, &failure);
  const std::string_view read = sjis ? std::string_view(*sjis) : line;
  const IniLine parsed = ReadIniLine({read.data(), read.data() + read.size()});
  if (parsed.kind != IniLineKind::Key || !parsed.hasValue || parsed.name.empty()) {
    return "line " + std::to_string(number);
  }
  const std::string_view name(parsed.name.p, parsed.name.size());
  return sjis ? Cp932ToUtf8(name) : std::string(name);
}

}  // namespace

IniEncoding IniEncodingNamed(const std::string& name) {
  return name == "sjis"    ? IniEncoding::ShiftJis
         : name == "utf-8" ? IniEncoding::Utf8
                           : IniEncoding::Auto;
}

std::optional<Utf8Evidence> FindUtf8Text(std::string_view text) {
  const bool mark = text.starts_with(kByteOrderMark);
  // The line named is the first with non-ASCII text that the updater reads,
  // or failing that the first comment with some.
  struct Found {
    int number;
    size_t start;
  };
  std::optional<Found> read, comment;
  int number = 1;
  const char* const end = text.data() + text.size();
  for (const char* next = text.data() + (mark ? kByteOrderMark.size() : 0);; ++number) {
    const size_t start = size_t(next - text.data());
    const IniSpan span = NextIniLine(&next, end);
    const std::string_view line(span.p, span.size());
    bool nonAscii = false, valid = true;
    for (size_t at = 0; at < line.size() && valid;) {
      char32_t code;
      const size_t length = Utf8Sequence(line, at, &code);
      nonAscii |= length != 1;
      valid = length != 0;
      at += length;
    }
    // Shift-JIS, unless the mark says otherwise: then the mark is what is
    // wrong with it, and the converter names the byte.
    if (!valid) {
      if (!mark) return std::nullopt;
      read = comment = std::nullopt;
      break;
    }
    // A line that begins with ';' sets a key that no one asks for: a
    // comment to the people who wrote it.
    if (nonAscii) {
      std::optional<Found>& slot = *TrimIni(span.p, span.end).p == ';' ? comment : read;
      if (!slot) slot = Found{number, start};
    }
    if (span.end == end) break;
  }
  if (!read) read = comment;
  if (!read && !mark) return std::nullopt;

  Utf8Evidence evidence;
  evidence.byteOrderMark = mark;
  evidence.markAlone = !read;
  const Found found = read.value_or(Found{1, kByteOrderMark.size()});
  evidence.line = found.number;
  const std::string_view written = LineAt(text, found.start);
  evidence.key = KeyOf(written, found.number);
  evidence.text = Cut(written);
  // The mark is part of the first line for the updater.
  evidence.shown =
      Cut(Cp932ToUtf8(LineAt(text, found.number == 1 ? 0 : found.start)));
  return evidence;
}

std::string DescribeUtf8(const Utf8Evidence& evidence) {
  const std::string instead =
      "'" + evidence.shown + "' instead of '" + evidence.text + "'";
  if (evidence.markAlone) {
    return "the file begins with a UTF-8 byte-order mark, which Shift-JIS "
           "text has not: the updater reads line 1 as " + instead;
  }
  return "line " + std::to_string(evidence.line) + " is UTF-8, not Shift-JIS" +
         (evidence.byteOrderMark ? " (the file begins with a UTF-8 "
                                   "byte-order mark)"
                                 : "") +
         ": the updater would show " + instead;
}

std::optional<std::string> Utf8IniToShiftJis(std::string_view text,
                                             std::string* failure) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  std::string out;
  int number = 1;
  const char* const end = text.data() + text.size();
  for (const char* next = text.data();; ++number) {
    const IniSpan span = NextIniLine(&next, end);
    const std::optional<std::string> line =
        LineToShiftJis({span.p, span.size()}, number, failure);
    if (!line) return std::nullopt;
    out += *line;
    if (span.end == end) break;
    out += "\r\n";
  }
  return out;
}

ConvertedIniFile::ConvertedIniFile(const std::string& text,
                                   std::optional<uint64_t> fileTime) {
  // A folder of our own, made atomically, so no other program's file is
  // ever read or overwritten.
  const fs::path base = fs::temp_directory_path();
  std::random_device randomDevice;
  for (int attempt = 0; folder_.empty(); ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "updpack-%08x",
                  static_cast<unsigned>(randomDevice()));
    std::error_code ec;
    if (fs::create_directory(base / name, ec)) {
      folder_ = base / name;
    } else if (ec || attempt == 100) {
      throw ToolError("cannot make a temporary folder in " + Quote(base) +
                      (ec ? ": " + ec.message() : std::string()));
    }
  }
  path_ = folder_ / "UPDATE.INI";
  try {
    WriteFileReplacing(path_, reinterpret_cast<const uint8_t*>(text.data()),
                       text.size(), fileTime);
  } catch (...) {
    std::error_code ec;
    fs::remove_all(folder_, ec);
    throw;
  }
}

ConvertedIniFile::~ConvertedIniFile() {
  std::error_code ec;
  fs::remove_all(folder_, ec);
}
