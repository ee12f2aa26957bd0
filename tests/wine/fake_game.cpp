// fake_game CLASS TITLE: a top-level window of that class and title, as the
// game's main window would be, for the updater's running-game check. It
// stays until it is closed. Like the game, an ANSI program whose title is
// Shift-JIS bytes, whatever the system's code page.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {
LRESULT CALLBACK GameProc(HWND window, UINT message, WPARAM wParam,
                          LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, wParam, lParam);
}
}  // namespace

// An argument as the Shift-JIS bytes a Japanese build of the game holds.
std::string ShiftJis(const wchar_t* text) {
  const int n = WideCharToMultiByte(932, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 1, '\0');
  if (n > 0) WideCharToMultiByte(932, 0, text, -1, &out[0], n, nullptr, nullptr);
  return out;
}

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc != 3) {
    std::fprintf(stderr, "usage: fake_game CLASS TITLE\n");
    return 2;
  }
  const std::string className = ShiftJis(argv[1]);
  const std::string title = ShiftJis(argv[2]);
  LocalFree(argv);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = GameProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = className.c_str();
  if (!RegisterClassA(&windowClass)) return 1;
  HWND window = CreateWindowA(className.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              40, 40, 320, 200, nullptr, nullptr,
                              windowClass.hInstance, nullptr);
  if (!window) return 1;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
