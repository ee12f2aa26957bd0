// INI text line by line, as the profile reader takes it: where a line
// ends, what counts as blank, which lines are section headers and which
// key a line sets. The reader and updpack's look at a file's text share
// it, so both see the same lines and the same keys.
#pragma once
#include <cstddef>
#include <cstring>

#include "core/sjis.h"

struct IniSpan {
  const char* p;
  const char* end;
  size_t size() const { return static_cast<size_t>(end - p); }
  bool empty() const { return p == end; }
};

// Blanks are the ASCII white space, and Ctrl-Z which old DOS editors leave
// at the end of a file.
constexpr bool IsIniBlank(unsigned char c) {
  return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0x1A;
}

// The span without blanks at either end. The end is found by a forward
// walk over whole characters, so no trail byte is ever judged on its own.
inline IniSpan TrimIni(const char* p, const char* end) {
  while (p < end && IsIniBlank(static_cast<unsigned char>(*p))) ++p;
  const char* last = p;
  for (const char* q = p; q < end;) {
    if (IsIniBlank(static_cast<unsigned char>(*q))) {
      ++q;
      continue;
    }
    q += SjisCharLength(q, end);
    last = q;
  }
  return {p, last};
}

// The line that starts at `*next`, without its end; `*next` moves past that
// end. CR LF, LF and a lone CR each end a line. The last line ends at
// `end`: the returned span's end is `end` only for it.
inline IniSpan NextIniLine(const char** next, const char* end) {
  const char* p = *next;
  while (p < end && *p != '\n' && *p != '\r') ++p;
  const IniSpan line = {*next, p};
  *next = p == end ? end : p + (*p == '\r' && end - p >= 2 && p[1] == '\n' ? 2 : 1);
  return line;
}

// Windows keeps names and values as C strings: a NUL byte ends them.
inline IniSpan IniUpToNul(IniSpan s) {
  const void* nul = std::memchr(s.p, 0, s.size());
  if (nul) s.end = static_cast<const char*>(nul);
  return s;
}

enum class IniLineKind { Blank, Section, Key };

// One line as the reader sees it. There are no comments: a line that
// begins with ';' is a key line like any other.
struct IniLine {
  IniLineKind kind;
  IniSpan name;   // the section's or the key's, trimmed and cut at a NUL
  bool hasValue;  // a key line with '='
  IniSpan value;  // after the '=': trimmed and cut at a NUL
};

inline IniLine ReadIniLine(IniSpan raw) {
  const IniSpan line = TrimIni(raw.p, raw.end);
  if (line.empty()) return {IniLineKind::Blank, line, false, line};
  // A header is '[' up to the line's last ']'; without a ']' the line is
  // an ordinary key line.
  if (*line.p == '[') {
    const char* close = nullptr;
    for (const char* p = line.p; p < line.end; p += SjisCharLength(p, line.end))
      if (*p == ']') close = p;
    if (close) {
      return {IniLineKind::Section, IniUpToNul(TrimIni(line.p + 1, close)), false,
              {line.end, line.end}};
    }
  }
  const char* equals = line.p;
  while (equals < line.end && *equals != '=') equals += SjisCharLength(equals, line.end);
  if (equals == line.end) return {IniLineKind::Key, IniUpToNul(line), false, {line.end, line.end}};
  return {IniLineKind::Key, IniUpToNul(TrimIni(line.p, equals)), true,
          IniUpToNul(TrimIni(equals + 1, line.end))};
}
