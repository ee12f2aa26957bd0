// dll_probe plain|hardened NAME: loads the library NAME by its bare name, as
// the system's own DLLs load their helpers, after PlatInitialize's hardening
// or without it, and says where it came from. Next to a planted NAME, the
// plain run shows that this Wine would take the planted copy, so that the
// hardened run's refusal means something.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "plain") != 0 &&
                    std::strcmp(argv[1], "hardened") != 0)) {
    std::fprintf(stderr, "usage: dll_probe plain|hardened NAME\n");
    return 2;
  }
  if (std::strcmp(argv[1], "hardened") == 0) PlatInitialize();
  HMODULE library = LoadLibraryA(argv[2]);
  char path[MAX_PATH] = "not loaded";
  if (library) GetModuleFileNameA(library, path, sizeof path);
  std::printf("%s\n", path);
  return 0;
}
