// fake_game CLASS TITLE: a top-level window of that class and title, as the
// game's main window would be, for the updater's running-game check. It
// stays until it is closed.
#include <windows.h>

#include <cstdio>

namespace {
LRESULT CALLBACK GameProc(HWND window, UINT message, WPARAM wParam,
                          LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, wParam, lParam);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fake_game CLASS TITLE\n");
    return 2;
  }
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = GameProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = argv[1];
  if (!RegisterClassA(&windowClass)) return 1;
  HWND window = CreateWindowA(argv[1], argv[2], WS_OVERLAPPEDWINDOW | WS_VISIBLE,
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
