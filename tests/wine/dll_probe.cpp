// dll_probe plain|hardened NAME|--window: after PlatInitialize's hardening
// or without it, either loads the library NAME by its bare name and says
// where it came from, or creates a window and so lets the system load its
// own helpers (the theme library) by their bare names. Next to a planted
// DLL, the plain run shows that this Wine would take the planted copy, so
// that the hardened run's refusal means something.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "plain") != 0 &&
                    std::strcmp(argv[1], "hardened") != 0)) {
    std::fprintf(stderr, "usage: dll_probe plain|hardened NAME|--window\n");
    return 2;
  }
  if (std::strcmp(argv[1], "hardened") == 0) PlatInitialize();
  if (std::strcmp(argv[2], "--window") == 0) {
    HWND window = CreateWindowA("STATIC", "probe", WS_OVERLAPPEDWINDOW, 0, 0,
                                100, 100, nullptr, nullptr, nullptr, nullptr);
    std::printf("%s\n", window ? "window created" : "no window");
    if (window) DestroyWindow(window);
    return 0;
  }
  HMODULE library = LoadLibraryA(argv[2]);
  char path[MAX_PATH] = "not loaded";
  if (library) GetModuleFileNameA(library, path, sizeof path);
  std::printf("%s\n", path);
  return 0;
}
