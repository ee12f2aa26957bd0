// updpack ini: what the updater reads for one key of an INI file, through
// the same profile reader the updater uses.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

#include "codepage.h"
#include "ini_encoding.h"
#include "platform/platform.h"
#include "tool_support.h"
#include "verbs.h"

namespace {

// Prints the count, the value in hex and as UTF-8; 1 when the count is 0.
int RunIni(const std::string& file, const std::string& section,
           const std::string& key, uint32_t capacity) {
  const std::optional<std::string> sectionName = Utf8ToCp932(section);
  const std::optional<std::string> keyName = Utf8ToCp932(key);
  if (!sectionName || !keyName) {
    throw ToolError("the section and the key must be written in Shift-JIS "
                    "characters");
  }
  // Absolute, because the Windows reader looks for a bare file name in the
  // Windows folder, not in the current one.
  const fs::path where = fs::absolute(PathFromUtf8(file));
  const std::optional<std::string> path = NarrowPath(where);
  if (!path) {
    throw ToolError(Quote(where) + " cannot be named in the system's code page");
  }
  // A file that cannot be read reads as one without keys, as it does for
  // the updater; only one that can is looked at for UTF-8.
  std::ifstream in(where, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  if (const std::optional<Utf8Evidence> evidence = FindUtf8Text(text)) {
    std::fprintf(stderr, "updpack: warning: %s: %s\n",
                 Quote(PathFromUtf8(file)).c_str(),
                 DescribeUtf8(*evidence).c_str());
  }
  std::string value(capacity, '\0');
  const uint32_t count = PlatReadProfileString(
      sectionName->c_str(), keyName->c_str(), value.data(), capacity,
      path->c_str());
  value.resize(count);

  std::printf("%u\n", count);
  for (const char c : value) std::printf("%02x", static_cast<unsigned char>(c));
  std::printf("\n%s\n", Cp932ToUtf8(value).c_str());
  return count ? 0 : 1;
}

}  // namespace

Verb AddIniVerb(CLI::App* app) {
  struct Options {
    std::string file, section, key;
    uint32_t capacity = 1024;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app->add_subcommand(
      "ini", "Show what the updater reads for KEY in SECTION of an INI file: "
             "the count, the bytes in hex, the text; exit 1 when the count "
             "is 0");
  AddArgument(command, "FILE", &options->file, "INI file");
  AddArgument(command, "SECTION", &options->section, "Section name");
  AddArgument(command, "KEY", &options->key, "Key name");
  command
      ->add_option("--capacity", options->capacity,
                   "Room for the value with its NUL, as the updater gives; "
                   "default 1024")
      ->check(CLI::Range(1u, 1u << 20))
      ->type_name("N");
  return {command, [options] {
            return RunIni(options->file, options->section, options->key,
                          options->capacity);
          }};
}
