// updpack check: every line of an UPDATE.INI that will not do what it looks
// like it does. The file is read through the updater's own profile reader
// and line grammar, whose notes say what a line leaves aside, so what is
// reported is what the updater will do.
#include "check.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "codepage.h"
#include "ini_encoding.h"
#include "package_reader.h"
#include "core/sjis.h"
#include "platform/platform.h"
#include "profile/profile.h"
#include "verbs.h"

namespace {

// Room to read a whole value, to tell whether the updater's room cuts it.
constexpr uint32_t kWholeValueSize = 1 << 16;
constexpr int kProbedKeys = 100;  // keys 00 to 99 are looked for

// The start of a text for a message, cut between characters.
std::string Excerpt(const char* text) {
  constexpr size_t kShown = 40;
  size_t length = 0;
  while (text[length] != '\0' && length < kShown) {
    length += SjisCharLength(text + length);
  }
  return Cp932ToUtf8(std::string(text, length)) + (text[length] ? "..." : "");
}

struct IniValue {
  bool present = false;
  std::string text;  // as the updater reads it, Shift-JIS
};

class Checker {
 public:
  Checker(const std::string& iniPath, const PackageFacts* facts)
      : iniPath_(iniPath), facts_(facts) {}

  std::vector<CheckFinding> Run() {
    CheckSetup();
    const bool updateLines = CheckUpdateLines();
    const bool copyLines = CheckCopyLines();
    if (!updateLines && !copyLines) {
      Error("UpdateFile00", "neither UpdateFile00 nor CopyFile00 exists: the "
                            "run stops with \"No 'UpdateFileXX' and "
                            "'CopyFileXX'\"");
    }
    CheckRequiredDiskSpace();
    return std::move(findings_);
  }

 private:
  void Error(const std::string& key, const std::string& reason) {
    findings_.push_back({true, key, reason});
  }
  void Warning(const std::string& key, const std::string& reason) {
    findings_.push_back({false, key, reason});
  }

  // The key as the updater reads it with `capacity` bytes of room, and
  // whether that room cuts it.
  IniValue Read(const char* section, const std::string& key,
                uint32_t capacity) {
    IniValue value;
    std::string room(capacity, '\0');
    value.present = ReadProfileKey(iniPath_.c_str(), section, key.c_str(),
                                   room.data(), capacity) != 0;
    value.text = room.c_str();
    std::string whole(kWholeValueSize, '\0');
    const uint32_t wholeSize =
        PlatReadProfileString(section, key.c_str(), whole.data(),
                              kWholeValueSize, iniPath_.c_str());
    if (wholeSize >= capacity) {
      Warning(key, "the value is " + std::to_string(wholeSize) +
                       " bytes; the updater reads only the first " +
                       std::to_string(capacity - 1));
    }
    return value;
  }

  void CheckSetup() {
    for (const char* key : {"CompanyName", "GameTitle", "GameClass", "GameDir"}) {
      if (!Read("SETUP", key, kPathSize).present) {
        Error(key, "missing or empty: the updater stops at start-up with "
                   "\"SETUP : " + std::string(key) + " キーが存在しません\"");
      }
    }
    for (const char* key :
         {"GameTitleA", "UpdaterVersion", "UpdaterTitle", "DataFolder"}) {
      Read("SETUP", key, kPathSize);
    }
    Read("SETUP", "UpdateMessage", kMessageSize);
  }

  // Whether the key is there with a value, without reading it for use.
  bool Present(const std::string& key) const {
    char probe[2];
    return PlatReadProfileString("UPDATE", key.c_str(), probe, sizeof probe,
                                 iniPath_.c_str()) != 0;
  }

  static std::string Key(const char* prefix, int n) {
    char key[32];
    NumberedKeyName(key, sizeof key, prefix, n);
    return key;
  }

  // The values of prefix00 to prefix15 as the updater reads them, up to the
  // first absent key where its list ends, and warnings for the keys it
  // never reads: after that gap, past 15, or written with one digit.
  std::vector<IniValue> ReadList(const char* prefix, uint32_t capacity) {
    std::vector<IniValue> values;
    const int read = WalkList(prefix, [&](const char* key) {
      IniValue value = Read("UPDATE", key, capacity);
      if (!value.present) return false;
      values.push_back(std::move(value));
      return true;
    });
    for (int n = read + 1; n < kMaxListItems; ++n) {
      const std::string key = Key(prefix, n);
      if (Read("UPDATE", key, capacity).present) {
        Warning(key, "never read: " + Key(prefix, read) +
                         " is missing or empty, and the list ends there");
      }
    }
    for (int n = kMaxListItems; n < kProbedKeys; ++n) {
      const std::string key = Key(prefix, n);
      if (Present(key)) {
        Warning(key, "never read: the updater reads only " +
                         std::string(prefix) + "00 to " + prefix + "15");
      }
    }
    for (int n = 0; n < 10; ++n) {
      const std::string key = prefix + std::to_string(n);
      if (Present(key)) {
        Warning(key, "never read: the keys have two digits (" +
                         Key(prefix, n) + ")");
      }
    }
    return values;
  }

  bool CheckUpdateLines() {
    const std::vector<IniValue> lines =
        ReadList(kUpdateFilePrefix, kUpdateLineSize);
    struct Taken {
      std::string key, path, entry;
    };
    std::vector<Taken> taken;
    for (size_t n = 0; n < lines.size(); ++n) {
      const std::string key = Key(kUpdateFilePrefix, int(n));
      UpdateItem item;
      if (!CheckUpdateLine(key, lines[n].text.c_str(), &item)) continue;
      const std::string path = item.Path;
      const std::string entry = item.Path + item.NameOffset;
      for (const Taken& other : taken) {
        if (other.path != path &&
            EntryNamesEqual(entry.c_str(), other.entry.c_str())) {
          Warning(key, "'" + Cp932ToUtf8(path) + "' and '" +
                           Cp932ToUtf8(other.path) + "' of " + other.key +
                           " both take the package entry '" +
                           Cp932ToUtf8(entry) + "'");
        }
      }
      taken.push_back({key, path, entry});
      if (facts_ && !facts_->Has(entry)) {
        Error(key, "the package has no entry '" + Cp932ToUtf8(entry) +
                       "': the run stops with \"ファイルの書き込みに失敗しました\"");
      }
    }
    return !lines.empty();
  }

  // Reports what the line does unexpectedly and takes it apart as the
  // updater does; false when it names no file.
  bool CheckUpdateLine(const std::string& key, const char* value,
                       UpdateItem* parsed) {
    // The fields as the updater's tokenizer gives them, up to where it
    // stops, and the disk prefixes it drops on the way.
    std::vector<std::string> fields;
    const char* cursor = value;
    for (;;) {
      char field[kPathSize];
      const char* prefix = ListFieldPrefix(cursor);
      const char* start = cursor;
      if (!NextListField(field, &cursor)) {
        const char* unread = nullptr;
        const ListStop stop = ListStopAt(start, &unread);
        if (stop != kListEnd) {
          Warning(key, std::string(stop == kListEmptyField
                                       ? "an empty field"
                                       : "a field longer than 259 bytes") +
                           " ends the list: '" + Excerpt(unread) +
                           "' is never read");
        }
        break;
      }
      if (prefix) {
        const std::string dropped(prefix, 2);
        Warning(key, "'" + Cp932ToUtf8(dropped) + "' at the start of '" +
                         Cp932ToUtf8(dropped + field) +
                         "' is taken as a disk prefix and dropped: the field "
                         "reads '" + Cp932ToUtf8(field) + "'");
      }
      fields.push_back(field);
    }

    UpdateItem& item = *parsed;
    UpdateLineNote line;
    ParseUpdateLine(value, 0, &item, &line);  // applying or not
    const size_t used = static_cast<size_t>(line.fieldsUsed);
    if (fields.size() > used) {
      if (item.Mode == ModeReplace) {
        Warning(key, "'" + Cp932ToUtf8(item.Path) +
                         "' is not a mode (d, u or o), so the line replaces "
                         "the file '" + Cp932ToUtf8(item.Path) +
                         "' and ignores the rest");
      } else {
        Warning(key, "the fields after the path are ignored: '" +
                         Cp932ToUtf8(fields[used]) + "'");
      }
    }
    if (item.Path[0] == '\0') {
      Error(key, "no file named: the run stops with "
                 "\"ファイルの書き込みに失敗しました\"");
      return false;
    }
    if (item.Path[std::strlen(item.Path) - 1] == ' ') {
      Warning(key, "the path '" + Cp932ToUtf8(item.Path) +
                       "' ends in a blank, which belongs to the file name");
    }
    if (std::strchr(item.Path, '/')) {
      Warning(key, "'/' does not separate folders here (use '\\'): the "
                   "entry name is '" + Cp932ToUtf8(item.Path + item.NameOffset) +
                   "'");
    }
    return true;
  }

  bool CheckCopyLines() {
    const std::vector<IniValue> lines =
        ReadList(kCopyFilePrefix, kCopyLineSize);
    for (size_t n = 0; n < lines.size(); ++n) {
      const std::string key = Key(kCopyFilePrefix, int(n));
      CopyItem item;
      CopyLineNote line;
      ParseCopyLine(lines[n].text.c_str(), 0, &item, &line);  // applying or not
      if (line.filter != '\0' && !(line.filter >= '0' && line.filter <= '9')) {
        Warning(key, std::string("'") + line.filter +
                         "' before the comma is not an InstMode digit: the "
                         "line never applies");
      }
      if (item.DiskNumber < 0 || item.DiskNumber > 9) {
        Error(key, "'" + Cp932ToUtf8(std::string(1, line.disk)) +
                       "' before the colon is not a disk number 0 to 9: the "
                       "run stops");
      }
      if (item.Path[0] == '\0') {
        Error(key, "no file or folder named: nothing to copy");
      }
    }
    return !lines.empty();
  }

  void CheckRequiredDiskSpace() {
    const IniValue value = Read("UPDATE", "RequiredDiskSpace", kPathSize);
    if (!value.present) return;
    const uint32_t required = ParseUnsigned32(value.text.c_str());
    const std::string& text = value.text;
    if (!IsPlainUnsigned32(text.c_str())) {
      Warning("RequiredDiskSpace",
              "'" + Cp932ToUtf8(text) + "' is not a plain decimal byte "
              "count; the updater reads it as " + std::to_string(required) +
              " bytes");
    }
    if (facts_ && required != 0 && required < facts_->unpackedTotal) {
      Warning("RequiredDiskSpace",
              std::to_string(required) + " bytes is less than the " +
                  std::to_string(facts_->unpackedTotal) +
                  " bytes the package unpacks to");
    }
  }

  const std::string iniPath_;
  const PackageFacts* facts_;
  std::vector<CheckFinding> findings_;
};

}  // namespace

bool PackageFacts::Has(const std::string& entry) const {
  return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
    return EntryNamesEqual(name.c_str(), entry.c_str());
  });
}

PackageFacts FactsOf(const LoadedPackage& package) {
  PackageFacts facts;
  for (const ListedEntry& listed : package.entries) {
    facts.names.push_back(listed.entry.Name);
    facts.unpackedTotal += listed.entry.FileSize;
  }
  return facts;
}

std::string IniReaderPath(const fs::path& ini) {
  std::error_code ec;
  if (!fs::is_regular_file(ini, ec)) {
    throw ToolError("cannot read " + Quote(ini) + ": no such file");
  }
  // Absolute, because the Windows reader looks for a bare file name in the
  // Windows folder, not in the current one.
  const std::optional<std::string> path = NarrowPath(fs::absolute(ini));
  if (!path || path->size() >= kPathSize) {
    throw ToolError(Quote(ini) + ": the path must be shorter than 260 bytes "
                    "in the system's code page");
  }
  return *path;
}

std::vector<UpdateItem> AllUpdateItems(const std::string& iniPath) {
  std::vector<UpdateItem> items;
  char value[kUpdateLineSize];
  WalkList(kUpdateFilePrefix, [&](const char* key) {
    if (!ReadProfileKey(iniPath.c_str(), "UPDATE", key, value, sizeof value)) return false;
    UpdateItem item;
    ParseUpdateLine(value, 0, &item);  // applying or not
    items.push_back(item);
    return true;
  });
  return items;
}

std::vector<CheckFinding> CheckUpdateIni(const fs::path& ini,
                                         const PackageFacts* facts) {
  return Checker(IniReaderPath(ini), facts).Run();
}

int PrintFindings(const fs::path& ini, const std::vector<CheckFinding>& findings) {
  int errors = 0;
  for (const CheckFinding& finding : findings) {
    std::fprintf(stderr, "updpack: %s: %s: %s: %s\n",
                 finding.error ? "error" : "warning", Quote(ini).c_str(),
                 finding.key.c_str(), finding.reason.c_str());
    errors += finding.error;
  }
  return errors;
}

namespace {

// The check of a file that may be UTF-8: one error saying so, then the
// findings of the Shift-JIS text that build would pack (or of the file as
// it stands when build refuses to convert it).
std::vector<CheckFinding> CheckIniFile(const fs::path& ini,
                                       const PackageFacts* facts) {
  const std::vector<uint8_t> bytes = ReadWholeFileOrThrow(ini);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()),
                              bytes.size());
  const std::optional<Utf8Evidence> evidence = FindUtf8Text(text);
  if (!evidence) return CheckUpdateIni(ini, facts);
  std::string failure;
  const std::optional<std::string> converted = Utf8IniToShiftJis(text, &failure);
  std::vector<CheckFinding> findings = {
      {true, evidence->key,
       DescribeUtf8(*evidence) +
           (converted ? "; updpack build converts it to Shift-JIS"
                      : "; updpack build refuses it: " + failure)}};
  std::vector<CheckFinding> rest;
  if (converted) {
    const ConvertedIniFile copy(*converted, std::nullopt);
    rest = CheckUpdateIni(copy.path(), facts);
  } else {
    rest = CheckUpdateIni(ini, facts);
  }
  findings.insert(findings.end(), rest.begin(), rest.end());
  return findings;
}

void PrintJson(const fs::path& ini, const std::vector<CheckFinding>& findings,
               int errors) {
  const std::u8string file = ini.u8string();
  std::printf("{\n  \"file\": %s,\n  \"errors\": %d,\n  \"warnings\": %zu,\n"
              "  \"findings\": [",
              JsonString(std::string(file.begin(), file.end())).c_str(), errors,
              findings.size() - static_cast<size_t>(errors));
  const char* separator = "\n";
  for (const CheckFinding& finding : findings) {
    std::printf("%s    {\"key\": %s, \"severity\": \"%s\", \"message\": %s}",
                separator, JsonString(finding.key).c_str(),
                finding.error ? "error" : "warning",
                JsonString(finding.reason).c_str());
    separator = ",\n";
  }
  std::printf("%s]\n}\n", findings.empty() ? "" : "\n  ");
}

// How check reports: lines on stderr and a summary, one JSON object on
// stdout, or only the exit code.
enum class CheckOutput { Text, Json, Quiet };

// 0 when UPDATE.INI has no finding that fails the run, 1 otherwise; with a
// package, its entries and size are checked too.
int RunCheck(const std::string& ini, const std::string& packagePath,
             CheckOutput output) {
  const fs::path path = PathFromUtf8(ini);
  std::vector<CheckFinding> findings;
  std::optional<PackageFacts> facts;
  if (!packagePath.empty()) {
    const fs::path packageFile = PathFromUtf8(packagePath);
    facts = FactsOf(LoadPackage(packageFile));
    if (!facts->Has("UPDATE.INI")) {
      findings.push_back({true, "UPDATE.INI",
                          Quote(packageFile) + " has no entry UPDATE.INI: the "
                          "updater stops with \"UPDATE.INI not found at "
                          "UPDATE.QW3\""});
    }
  }
  // Without the package's UPDATE.INI nothing of the file is ever read.
  if (findings.empty()) findings = CheckIniFile(path, facts ? &*facts : nullptr);
  const int errors = static_cast<int>(std::count_if(
      findings.begin(), findings.end(),
      [](const CheckFinding& finding) { return finding.error; }));
  if (output == CheckOutput::Json) {
    PrintJson(path, findings, errors);
  } else if (output == CheckOutput::Text) {
    PrintFindings(path, findings);
    const size_t warnings = findings.size() - static_cast<size_t>(errors);
    std::printf("%s: %d error%s, %zu warning%s\n", Quote(path).c_str(), errors,
                errors == 1 ? "" : "s", warnings, warnings == 1 ? "" : "s");
  }
  return errors ? 1 : 0;
}

}  // namespace

Verb AddCheckVerb(CLI::App* app) {
  struct Options {
    std::string ini, package;
    bool json = false, quiet = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app->add_subcommand(
      "check", "Report every line of an UPDATE.INI that will not do what it "
               "looks like; exit 1 when one would fail the update");
  AddArgument(command, "INI", &options->ini, "UPDATE.INI");
  command
      ->add_option("--package", options->package,
                   "Package (or updater) the file goes with: its entries "
                   "are checked too")
      ->type_name("PKG");
  CLI::Option* json = command->add_flag(
      "--json", options->json,
      "Print the findings as JSON on stdout (key, severity, message)");
  command->add_flag("--quiet", options->quiet,
                    "Print no findings; exit code only")
      ->excludes(json);
  return {command, [options] {
            return RunCheck(options->ini, options->package,
                            options->json    ? CheckOutput::Json
                            : options->quiet ? CheckOutput::Quiet
                                             : CheckOutput::Text);
          }};
}
