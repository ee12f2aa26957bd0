// updpack verify: an updater's header checksum and integrity record, then the
// package: it opens, every entry matches the record and decodes. Each finding
// has a key (an entry's name, or <checksum>, <record>, <package>), a severity
// and a message; errors make the exit code 1.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

#include "package_reader.h"
#include "pack/integrity_record.h"
#include "patch_entries.h"
#include "verbs.h"

namespace {

struct VerifyOptions {
  std::string package;
  bool json = false;   // the findings as JSON on stdout
  bool quiet = false;  // nothing printed: the exit code only
  // Old installations: each patch entry is applied to the files of its old
  // versions found there.
  std::vector<std::string> from;
};

struct Finding {
  std::string key;
  const char* severity;  // "error" or "warning"
  std::string message;
};

const char* RecordFaultText(IntegrityFault fault) {
  switch (fault) {
    case IntegrityFault::TooShort:
      return "too short";
    case IntegrityFault::BadMagic:
      return "no QW2I signature";
    case IntegrityFault::BadVersion:
      return "a version this updpack does not know";
    case IntegrityFault::BadSize:
      return "its length does not agree with its entry count";
    case IntegrityFault::BadRecordCrc:
      return "its own CRC-32 does not match";
    case IntegrityFault::None:
      break;
  }
  return "unreadable";
}

// The header checksum and the record of an updater, against its package.
// Gives the record's entry CRCs when the record is sound.
std::optional<std::vector<uint32_t>> CheckUpdater(
    const std::string& name, const UpdaterFacts& updater,
    const std::vector<uint8_t>& image, std::vector<Finding>* findings) {
  if (updater.headerChecksum == 0) {
    findings->push_back({"<checksum>", "warning",
                         name + ": the header checksum is not set"});
  } else if (updater.headerChecksum != updater.computedChecksum) {
    findings->push_back({"<checksum>", "error",
                         name + ": the header checksum is " +
                             Hex32(updater.headerChecksum) + ", the file's is " +
                             Hex32(updater.computedChecksum)});
  }
  if (!updater.record) {
    findings->push_back({"<record>", "warning",
                         name + ": no integrity record (resource UPDATE 103), "
                                "so damage cannot be detected; embed the "
                                "package again to add one"});
    return std::nullopt;
  }
  const std::vector<uint8_t>& bytes = *updater.record;
  IntegrityRecord record;
  const IntegrityFault fault =
      ParseIntegrityRecord(Crc32Tables(), bytes.data(), bytes.size(), &record);
  if (fault != IntegrityFault::None) {
    findings->push_back({"<record>", "error",
                         name + ": the integrity record is damaged (" +
                             RecordFaultText(fault) + ")"});
    return std::nullopt;
  }
  if (record.packageSize != image.size()) {
    findings->push_back({"<package>", "error",
                         name + ": the package has " +
                             std::to_string(image.size()) +
                             " bytes, the integrity record says " +
                             std::to_string(record.packageSize)});
  } else if (const uint32_t crc = Crc32(Crc32Tables(), 0, image.data(), image.size());
             crc != record.packageCrc) {
    findings->push_back({"<package>", "error",
                         name + ": the package's CRC-32 is " + Hex32(crc) +
                             ", the integrity record says " +
                             Hex32(record.packageCrc)});
  }
  std::vector<uint32_t> crcs(record.entryCount);
  for (uint32_t i = 0; i < record.entryCount; ++i) crcs[i] = IntegrityEntryCrc(record, i);
  return crcs;
}

// A patch entry: its record, its whole file, and with old installations
// each patch applied to the file of its version there. Gives the count of
// patches applied.
size_t CheckPatchEntry(const LoadedPackage& package, const ListedEntry& listed,
                       const std::string& entry, const OldInstallations& olds,
                       std::vector<Finding>* findings) {
  const PatchRecord record = ReadPatchRecord(package, listed);
  const bool whole = FallbackBytes(package, listed, record).has_value();
  if (olds.empty()) return 0;
  size_t applied = 0;
  bool matched = false;
  for (const OldInstallations::Match& match : olds.MatchesFor(listed, record)) {
    matched = true;
    if (!match.version) continue;  // already the result: nothing to apply
    try {
      ApplyPatchVersion(package, listed, record, *match.version, match.bytes);
      ++applied;
    } catch (const ToolError& error) {
      findings->push_back({listed.displayName, "error",
                           std::string(error.what()) + ", from " + Quote(match.path)});
    }
  }
  if (!matched) {
    const std::string text = entry + ": no file of its name in " + olds.Names() +
                             " is " + OldVersionsText(record);
    if (whole) {
      findings->push_back({listed.displayName, "warning",
                           text + "; such a player gets the whole file"});
    } else {
      findings->push_back({listed.displayName, "error",
                           text + ", and it carries no whole file: such a player "
                                  "is told the version differs"});
    }
  }
  return applied;
}

// Every entry: its stored bytes against the record, its decoding, its name.
// Gives the count of patches applied.
size_t CheckEntries(const LoadedPackage& package,
                    const std::optional<std::vector<uint32_t>>& recorded,
                    const OldInstallations& olds, bool showProgress,
                    std::vector<Finding>* findings) {
  if (recorded && recorded->size() != package.entries.size()) {
    findings->push_back({"<record>", "error",
                         "the integrity record counts " +
                             std::to_string(recorded->size()) +
                             " entries, the directory " +
                             std::to_string(package.entries.size())});
  }
  ProgressLine progress(showProgress ? package.image.size() : 0);
  size_t applied = 0;
  for (size_t i = 0; i < package.entries.size(); ++i) {
    const ListedEntry& listed = package.entries[i];
    const std::string entry = "entry " + std::to_string(i + 1) + " '" + listed.displayName + "'";
    progress.Show("verifying " + std::to_string(i + 1) + "/" +
                  std::to_string(package.entries.size()) + " " +
                  listed.displayName);
    if (recorded && i < recorded->size() && (*recorded)[i] != listed.storedCrc) {
      findings->push_back({listed.displayName, "error",
                           entry + ": its stored bytes have CRC-32 " +
                               Hex32(listed.storedCrc) +
                               ", the integrity record says " + Hex32((*recorded)[i])});
    }
    try {
      if (IsPatchEntry(listed.entry)) {
        applied += CheckPatchEntry(package, listed, entry, olds, findings);
      } else {
        EntryBytes(package, listed);
      }
    } catch (const ToolError& error) {
      findings->push_back({listed.displayName, "error", error.what()});
    }
    if (const auto first = EarlierEntryOfSameName(package, i)) {
      findings->push_back({listed.displayName, "error",
                           entry + " can never be used: entry " +
                               std::to_string(*first + 1) + " has the same name"});
    }
  }
  return applied;
}

void PrintJson(const std::string& name, bool sound, size_t entries,
               const std::vector<Finding>& findings) {
  std::printf("{\n  \"file\": %s,\n  \"sound\": %s,\n  \"entries\": %zu,\n  \"findings\": [",
              JsonString(name).c_str(), sound ? "true" : "false", entries);
  const char* separator = "\n";
  for (const Finding& finding : findings) {
    std::printf("%s    {\"key\": %s, \"severity\": \"%s\", \"message\": %s}",
                separator, JsonString(finding.key).c_str(), finding.severity,
                JsonString(finding.message).c_str());
    separator = ",\n";
  }
  std::printf("%s]\n}\n", findings.empty() ? "" : "\n  ");
}

// 0 when the package (or updater) is sound, 1 after reporting what is wrong.
int RunVerify(const VerifyOptions& options) {
  const fs::path path = PathFromUtf8(options.package);
  const std::string name = Quote(path);
  std::vector<Finding> findings;
  size_t entries = 0, applied = 0;
  bool recordChecked = false;
  const OldInstallations olds(options.from);
  try {
    PackageFile file = ReadPackageFile(path);
    std::optional<std::vector<uint32_t>> recorded;
    if (file.updater) {
      recorded = CheckUpdater(name, *file.updater, file.image, &findings);
      recordChecked = recorded.has_value();
    }
    const LoadedPackage package = OpenPackageFile(std::move(file), path);
    entries = package.entries.size();
    applied = CheckEntries(package, recorded, olds, !options.quiet && !options.json,
                           &findings);
  } catch (const ToolError& error) {
    findings.push_back({"<package>", "error", error.what()});
  }
  size_t errors = 0;
  for (const Finding& finding : findings) errors += finding.severity[0] == 'e';
  if (options.quiet) return errors ? 1 : 0;
  if (options.json) {
    PrintJson(options.package, errors == 0, entries, findings);
    return errors ? 1 : 0;
  }
  for (const Finding& finding : findings) {
    std::fprintf(stderr, "updpack: %s: %s\n", finding.severity, finding.message.c_str());
  }
  if (errors) {
    std::fprintf(stderr, "updpack: error: %s: %zu problem%s found\n",
                 name.c_str(), errors, errors == 1 ? "" : "s");
    return 1;
  }
  std::printf("%s: sound, %zu entries%s", name.c_str(), entries,
              recordChecked ? ", matching its integrity record" : "");
  if (!options.from.empty()) {
    std::printf(", %zu patch%s applied", applied, applied == 1 ? "" : "es");
  }
  std::printf("\n");
  return 0;
}

}  // namespace

Verb AddVerifyVerb(CLI::App* app) {
  auto options = std::make_shared<VerifyOptions>();
  CLI::App* command = app->add_subcommand(
      "verify", "Check that a package opens and every entry decodes, and an "
                "updater's header checksum and integrity record; exit 1 on "
                "any damage");
  AddArgument(command, "PKG", &options->package, "Package or updater");
  CLI::Option* json = command->add_flag(
      "--json", options->json,
      "Print the findings as JSON (key, severity, message)");
  command->add_flag("--quiet", options->quiet, "Print nothing; exit code only")
      ->excludes(json);
  command
      ->add_option("--from", options->from,
                   "Installation of an earlier version: each patch is applied "
                   "to the file of its old version there and the result "
                   "checked; may be repeated")
      ->type_name("OLD-DIR")
      ->allow_extra_args(false);
  return {command, [options] { return RunVerify(*options); }};
}
