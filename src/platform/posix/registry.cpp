// The installer's record. Linux has no registry: the record is an INI file
// named by UPDATER_REGISTRY, one section per sub-key (see README.md).
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/ini.h"

namespace {

struct RecordFile {
  const char* text;
  size_t size;
  const char* subKey;
};

// A text value and its NUL must fit kPathSize bytes, or it fails to read as on
// Windows.
bool ReadText(const RecordFile& file, const char* name, char (&out)[kPathSize]) {
  const char* value = nullptr;
  size_t length = 0;
  if (IniFind(file.text, file.size, file.subKey, name, &value, &length) != kIniFound ||
      length + 1 > sizeof out)
    return false;
  std::memcpy(out, value, length);
  out[length] = '\0';
  return true;
}

// A 32-bit value in decimal, from -2147483648 to 4294967295: the upper half
// stands for the same bits as a negative number, as a DWORD would.
bool ReadNumber(const RecordFile& file, const char* name, int32_t* out) {
  char text[kPathSize];
  if (!ReadText(file, name, text)) return false;
  const bool negative = text[0] == '-';
  const char* p = text + negative;
  if (!*p) return false;
  uint64_t magnitude = 0;
  for (; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    magnitude = magnitude * 10 + static_cast<uint64_t>(*p - '0');
    if (magnitude > UINT32_MAX) return false;
  }
  if (negative && magnitude > 0x80000000u) return false;
  const uint32_t bits = static_cast<uint32_t>(negative ? 0u - magnitude : magnitude);
  std::memcpy(out, &bits, sizeof bits);
  return true;
}

}  // namespace

void PlatReadInstallValues(const char* subKey, PlatInstallValues* values) {
  *values = PlatInstallValues{};
  const char* path = std::getenv("UPDATER_REGISTRY");
  if (!path || !*path) return;
  uint32_t size = 0;
  uint8_t* text = PlatReadWholeFile(path, &size);
  if (!text) return;
  const RecordFile file{reinterpret_cast<const char*>(text), size, subKey};
  const char* value = nullptr;
  size_t length = 0;
  values->keyOpened =
      IniFind(file.text, file.size, subKey, "InstPath", &value, &length) != kIniNoSection;
  // The queries stop where the Windows reader stops: after a missing
  // InstPath, and before InstAdd after a missing InstMode.
  if (values->keyOpened) {
    values->hasInstPath = ReadText(file, "InstPath", values->instPath);
    if (values->hasInstPath) {
      values->hasDataPath = ReadText(file, "DataPath", values->dataPath);
      values->hasInstMode = ReadNumber(file, "InstMode", &values->instMode);
      if (values->hasInstMode) values->hasInstAdd = ReadNumber(file, "InstAdd", &values->instAdd);
    }
  }
  std::free(text);
}
