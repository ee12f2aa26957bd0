// The profile reader. It walks the text once, line by line, without copying
// or allocating, and gives the answers the Windows profile functions give
// for the same bytes (checked against them under Wine by tests/wine).
#include "platform/posix/ini.h"

#include <cstring>

#include "core/sjis.h"

namespace {

struct Span {
  const char* p;
  const char* end;
  size_t size() const { return static_cast<size_t>(end - p); }
};

// Blanks are the ASCII white space, and Ctrl-Z which old DOS editors leave
// at the end of a file.
bool IsBlank(unsigned char c) {
  return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0x1A;
}

// The span without blanks at either end. The end is found by a forward
// walk over whole characters, so no trail byte is ever judged on its own.
Span Trim(const char* p, const char* end) {
  while (p < end && IsBlank(static_cast<unsigned char>(*p))) ++p;
  const char* last = p;
  for (const char* q = p; q < end;) {
    if (IsBlank(static_cast<unsigned char>(*q))) {
      ++q;
      continue;
    }
    q += SjisCharLength(q, end);
    last = q;
  }
  return {p, last};
}

// Windows keeps names and values as C strings: a NUL byte ends them.
Span UpToNul(Span s) {
  const void* nul = std::memchr(s.p, 0, s.size());
  if (nul) s.end = static_cast<const char*>(nul);
  return s;
}

bool SameName(Span a, Span b) {
  return SjisEqualIgnoreCase(a.p, a.size(), b.p, b.size());
}

// The last ']' of a line, or null.
const char* LastClosingBracket(Span line) {
  const char* found = nullptr;
  for (const char* p = line.p; p < line.end; p += SjisCharLength(p, line.end))
    if (*p == ']') found = p;
  return found;
}

// The first '=' of a line, or null.
const char* FirstEquals(Span line) {
  for (const char* p = line.p; p < line.end; p += SjisCharLength(p, line.end))
    if (*p == '=') return p;
  return nullptr;
}

// A line ends at CR or LF, so CRLF, LF and a lone CR all end one.
const char* LineEnd(const char* p, const char* end) {
  while (p < end && *p != '\n' && *p != '\r') ++p;
  return p;
}

Span QueryName(const char* name) {
  return Trim(name, name + std::strlen(name));
}

}  // namespace

IniLookup IniFind(const char* text, size_t size, const char* section,
                  const char* key, const char** value, size_t* valueSize) {
  const Span wantedSection = QueryName(section);
  const Span wantedKey = QueryName(key);
  const char* const end = text + size;
  // Lines before the first section header form a section with an empty
  // name.
  bool inSection = wantedSection.size() == 0;
  for (const char* next = text; next < end;) {
    const char* lineEnd = LineEnd(next, end);
    const Span line = Trim(next, lineEnd);
    next = lineEnd < end ? lineEnd + 1 : end;
    if (line.p == line.end) continue;

    if (*line.p == '[') {
      if (const char* close = LastClosingBracket(line)) {
        // Only the first section of a name is searched: leaving it ends
        // the search.
        if (inSection) return kIniNoKey;
        const Span name = UpToNul(Trim(line.p + 1, close));
        inSection = SameName(name, wantedSection);
        continue;
      }
      // Without its ']' the line is an ordinary key line.
    }
    if (!inSection) continue;

    const char* equals = FirstEquals(line);
    const Span name = UpToNul(equals ? Trim(line.p, equals) : line);
    if (!SameName(name, wantedKey)) continue;
    if (!equals) return kIniNoValue;
    Span found = UpToNul(Trim(equals + 1, line.end));
    // One pair of matching quotes around the whole value is taken off.
    if (found.size() >= 2 && (found.p[0] == '"' || found.p[0] == '\'') &&
        found.end[-1] == found.p[0]) {
      ++found.p;
      --found.end;
    }
    *value = found.p;
    *valueSize = found.size();
    return kIniFound;
  }
  return inSection ? kIniNoKey : kIniNoSection;
}

uint32_t IniReadValue(const char* text, size_t size, const char* section,
                      const char* key, char* dest, uint32_t capacity) {
  if (capacity == 0) return 0;
  dest[0] = '\0';
  if (!section || !key) return 0;
  const char* value = nullptr;
  size_t valueSize = 0;
  if (IniFind(text, size, section, key, &value, &valueSize) != kIniFound)
    return 0;

  // Cut at capacity - 1 bytes, but never between the two bytes of a
  // character: the caller's later scans would read half a character.
  const char* const valueEnd = value + valueSize;
  size_t count = 0;
  while (count < valueSize) {
    size_t n = static_cast<size_t>(SjisCharLength(value + count, valueEnd));
    if (count + n > capacity - 1) break;
    count += n;
  }
  std::memcpy(dest, value, count);
  dest[count] = '\0';
  return static_cast<uint32_t>(count);
}
