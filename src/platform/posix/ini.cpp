// The profile reader. It walks the text once, line by line, without copying
// or allocating, and gives the answers the Windows profile functions give
// for the same bytes (checked against them under Wine by tests/wine).
#include "platform/posix/ini.h"

#include <cstring>

#include "core/ini_lines.h"
#include "core/sjis.h"

namespace {

bool SameName(IniSpan a, IniSpan b) {
  return SjisEqualIgnoreCase(a.p, a.size(), b.p, b.size());
}

IniSpan QueryName(const char* name) {
  return TrimIni(name, name + std::strlen(name));
}

}  // namespace

IniLookup IniFind(const char* text, size_t size, const char* section,
                  const char* key, const char** value, size_t* valueSize) {
  const IniSpan wantedSection = QueryName(section);
  const IniSpan wantedKey = QueryName(key);
  const char* const end = text + size;
  // Lines before the first section header form a section with an empty
  // name.
  bool inSection = wantedSection.size() == 0;
  for (const char* next = text; next < end;) {
    const IniLine line = ReadIniLine(NextIniLine(&next, end));
    if (line.kind == IniLineKind::Section) {
      // Only the first section of a name is searched: leaving it ends the
      // search.
      if (inSection) return kIniNoKey;
      inSection = SameName(line.name, wantedSection);
      continue;
    }
    if (line.kind != IniLineKind::Key || !inSection) continue;
    if (!SameName(line.name, wantedKey)) continue;
    if (!line.hasValue) return kIniNoValue;
    IniSpan found = line.value;
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
