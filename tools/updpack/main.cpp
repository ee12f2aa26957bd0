// updpack: builds, inspects and checks update packages. The command line:
// the verbs, and the exit codes 0 (done), 1 (failed) and 2 (the command line
// is wrong).
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <new>
#include <optional>

#include "codepage.h"
#include "package/decompress.h"
#include "verbs.h"

namespace {

// The first word that is not an option names the verb (and the next one its
// own verb, for block). CLI11 alone would only say that one is required.
std::optional<std::string> UnknownVerb(const CLI::App& app,
                                       const std::vector<std::string>& words) {
  const CLI::App* level = &app;
  std::string path;
  for (size_t i = 1; i < words.size(); ++i) {
    if (words[i].starts_with("-")) continue;
    const std::vector<const CLI::App*> verbs = level->get_subcommands({});
    if (verbs.empty()) break;
    path += (path.empty() ? "" : " ") + words[i];
    const auto known = std::find_if(verbs.begin(), verbs.end(),
                                    [&](const CLI::App* verb) {
                                      return verb->check_name(words[i]);
                                    });
    if (known == verbs.end()) return path;
    level = *known;
  }
  return std::nullopt;
}

std::string UsageFailure(const CLI::App*, const CLI::Error& error) {
  return std::string("updpack: error: ") + error.what() +
         "\nRun with --help for more information.\n";
}

}  // namespace

int main(int argc, char** argv) {
  PrepareConsole();
  PrepareDecoder();  // before any verb's threads start
  CLI::App app("Builds, inspects and checks update packages and updaters.",
               "updpack");
  app.require_subcommand(1);
  app.failure_message(UsageFailure);
  app.set_version_flag("--version", VersionText,
                       "Show updpack's version and the stub it uses");
  // In the order --help lists them.
  const Verb verbs[] = {
      AddCreateVerb(&app),
      AddListVerb(&app),
      AddUnpackVerb(&app),
      AddVerifyVerb(&app),
      AddBlockVerb(&app),
      AddEmbedVerb(&app),
      AddBuildVerb(&app),
      AddSignVerb(&app),
      AddCheckVerb(&app),
      AddIniVerb(&app),
  };

  const std::vector<std::string> arguments = Utf8Arguments(argc, argv);
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) {
    pointers.push_back(argument.c_str());
  }
  if (const std::optional<std::string> verb = UnknownVerb(app, arguments)) {
    std::fprintf(stderr, "updpack: error: unknown verb '%s'\n"
                         "Run with --help for the verbs.\n", verb->c_str());
    return 2;
  }
  try {
    app.parse(static_cast<int>(pointers.size()), pointers.data());
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : 2;
  }

  try {
    for (const Verb& verb : verbs) {
      if (*verb.command) return verb.run();
    }
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "updpack: error: not enough memory\n");
    return 1;
  } catch (const std::exception& error) {  // ToolError and the library's own
    std::fprintf(stderr, "updpack: error: %s\n", error.what());
    return 1;
  }
  return 0;
}
