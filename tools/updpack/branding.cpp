// What an updater shows of itself before it runs: the game's icon in
// Explorer, and the version record whose description and company the
// administrator prompt names, taken from UPDATE.INI's [SETUP] unless an
// option says otherwise.
#include "codepage.h"
#include "core/caption.h"
#include "core/text_sizes.h"
#include "pack/version_record.h"
#include "platform/platform.h"
#include "verbs.h"

namespace {

// UTF-8 as UTF-16; a byte that does not start a whole character stands for
// U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text) {
  static const char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    bool valid = (lead < 0x80 || lead >= 0xC2) && lead <= 0xF4 &&
                 i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      c = c << 6 | (next & 0x3F);
    }
    if (!valid || c < kSmallest[length] || c > 0x10FFFF ||
        (c >= 0xD800 && c <= 0xDFFF)) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out += char16_t(0xD800 + ((c - 0x10000) >> 10));
      out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += char16_t(c);
    }
    i += length;
  }
  return out;
}

// A [SETUP] key as the updater reads it (room for 260 bytes), as UTF-8.
std::string SetupValue(const std::string& iniPath, const char* key) {
  if (iniPath.empty()) return "";
  char value[kPathSize] = {};
  const uint32_t count = PlatReadProfileString("SETUP", key, value,
                                               sizeof value, iniPath.c_str());
  return Cp932ToUtf8(std::string_view(value, count));
}

// The numbers of a version text; `source` names where the text came from.
void VersionNumbers(const std::string& text, const std::string& source,
                    const char* option, uint16_t numbers[4]) {
  std::string fault;
  if (!ParseVersionNumbers(text, numbers, &fault)) {
    throw ToolError(source + " '" + text + "': " + fault + "; give " + option +
                    " a version that fits; no updater written");
  }
}

}  // namespace

Branding MakeBranding(const BrandingOptions& options, const std::string& iniPath,
                      const fs::path& output) {
  Branding branding;
  if (!options.icon.empty()) {
    const fs::path path = PathFromUtf8(options.icon);
    const std::vector<uint8_t> bytes = ReadWholeFileOrThrow(path);
    IconImages icon;
    std::string fault;
    if (!ReadIconFile(bytes.data(), bytes.size(), &icon, &fault)) {
      throw ToolError(Quote(path) + ": " + fault + "; no updater written");
    }
    branding.icon = std::move(icon);
  }

  const std::string title = SetupValue(iniPath, "GameTitle");
  const std::string version = SetupValue(iniPath, "UpdaterVersion");
  const std::string fileVersion = options.fileVersion.value_or(version);
  const std::string productVersion = options.productVersion.value_or(version);
  VersionRecord record;
  record.companyName =
      Utf8ToUtf16(options.companyName.value_or(SetupValue(iniPath, "CompanyName")));
  record.productName = Utf8ToUtf16(options.productName.value_or(title));
  // The words of the caption the updater shows when it has no UpdaterTitle.
  record.fileDescription =
      Utf8ToUtf16(options.fileDescription.value_or(title + " " UPD_CAPTION_WORD));
  record.fileVersion = Utf8ToUtf16(fileVersion);
  record.productVersion = Utf8ToUtf16(productVersion);
  record.originalFilename = options.originalFilename
                                ? Utf8ToUtf16(*options.originalFilename)
                                : output.filename().u16string();
  VersionNumbers(fileVersion,
                 options.fileVersion ? "--file-version" : "UPDATE.INI's UpdaterVersion",
                 "--file-version", record.fileVersionNumbers);
  VersionNumbers(productVersion,
                 options.productVersion ? "--product-version"
                                        : "UPDATE.INI's UpdaterVersion",
                 "--product-version", record.productVersionNumbers);
  branding.versionRecord = BuildVersionRecord(record);
  if (branding.versionRecord.empty()) {
    throw ToolError("the version record's texts are too long together; "
                    "no updater written");
  }
  return branding;
}
