// automate: drives the updater's windows for the end-to-end tests.
//
// A console program that reads one command per line on stdin and answers
// with one line on stdout, so a test script keeps one Wine process alive
// instead of starting one per question. Texts are read back both as the ANSI
// bytes a program of this code page sees (hex) and as UTF-8 for the script.
// Every wait has a timeout; an answer starts with "ok", "timeout" or "error".
//
//   acp                       the ANSI code page (932 when the prefix is right)
//   hexof ansi|utf16          what the hex of a text shows from then on: the
//                             ANSI bytes (the default) or the UTF-16LE code
//                             units the window holds, for a code page that
//                             cannot hold the program's texts
//   wait CAPTION MS           a top-level dialog-class window titled CAPTION
//                             with an info control (1001) becomes current
//   title                     caption of the current dialog
//   info                      text of control 1001
//   waitinfo TEXT MS          waits until control 1001 reads TEXT
//   control ID                text and state of one control
//   buttons                   Back (4), Next (1), Cancel (2): state and text,
//                             and which control has the focus
//   press ID                  clicks an enabled button of the current dialog
//   close                     the close box of the current dialog
//   gone MS                   waits until the current dialog is destroyed
//   msgbox MS                 waits for a message box: caption, text, owner,
//                             buttons, whether it shows an icon
//   answer ok|cancel          clicks that button of the last message box
//                             and waits until the box is gone
//   waitclass CLASS MS        a top-level window of that class exists
//   count CAPTION             top-level dialog-class windows with that caption
//   foreground                caption of the foreground window
//   closeclass CLASS          closes the top-level windows of a class
//   drivetype ROOT            GetDriveTypeA of a root such as E:\ (5: CD-ROM)
//   layout POINTS FACE        the current dialog as drawn, its text in that
//                             font (the template's): "ok dpi=D aware=A
//                             client=WxH" and each visible control as
//                             ID:x,y,w,h, when every control lies inside the
//                             client area, no two overlap and each one's
//                             text fits it; "error" and what is wrong
//                             otherwise
//   layout box                the same for the last message box, in the
//                             system's message font
//   exit
#define WINVER 0x0A00
#define _WIN32_WINNT 0x0A00
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr UINT kReadTimeoutMs = 2000;
constexpr int kMessageBoxTextId = 0xFFFF;

HWND currentDialog;
HWND currentBox;
bool hexOfUtf16;

std::wstring Wide(const std::string& utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring out(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &out[0], n);
  return out;
}

std::string Utf8(const std::wstring& wide) {
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0,
                              nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1)
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &out[0], n, nullptr,
                        nullptr);
  return out;
}

// Control characters made visible, so that an answer stays on one line and
// a lone CR can be told from CR LF.
std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c < 0x20) out += "\\x" + std::to_string(c);
    else out += char(c);
  }
  return out;
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out.empty() ? "-" : out;
}

// A text read both ways, as the hex column shows it.
std::string HexOf(const std::string& ansi, const std::wstring& wide) {
  if (!hexOfUtf16) return Hex(ansi);
  std::string units;
  for (wchar_t c : wide) {
    units += char(c & 0xFF);
    units += char(c >> 8);
  }
  return Hex(units);
}

// Window texts go through WM_GETTEXT with a timeout: the updater's thread
// may be busy writing files and must not hang the tool.
bool ReadTextW(HWND window, std::wstring* text) {
  wchar_t buffer[2048] = {};
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 2048, LPARAM(buffer),
                           SMTO_ABORTIFHUNG, kReadTimeoutMs, &length))
    return false;
  *text = std::wstring(buffer, length);
  return true;
}

bool ReadTextA(HWND window, std::string* text) {
  char buffer[4096] = {};
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, 4096, LPARAM(buffer),
                           SMTO_ABORTIFHUNG, kReadTimeoutMs, &length))
    return false;
  *text = std::string(buffer, length);
  return true;
}

// "HEX TEXT" of a window, or empty when it did not answer.
std::string Describe(HWND window) {
  std::string ansi;
  std::wstring wide;
  if (!ReadTextA(window, &ansi) || !ReadTextW(window, &wide)) return "";
  return HexOf(ansi, wide) + " " + Printable(Utf8(wide));
}

std::string Caption(HWND window) {
  wchar_t buffer[1024] = {};
  GetWindowTextW(window, buffer, 1024);
  return Printable(Utf8(buffer));
}

bool IsDialogClass(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return std::strcmp(name, "#32770") == 0;
}

BOOL CALLBACK CollectDialog(HWND window, LPARAM list) {
  if (IsDialogClass(window))
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

std::vector<HWND> TopLevelDialogs() {
  std::vector<HWND> found;
  EnumWindows(CollectDialog, LPARAM(&found));
  return found;
}

bool TitleIs(HWND window, const std::wstring& title) {
  wchar_t buffer[1024] = {};
  GetWindowTextW(window, buffer, 1024);
  return title == buffer;
}

HWND FindDialog(const std::wstring& title) {
  for (HWND window : TopLevelDialogs())
    if (IsWindowVisible(window) && GetDlgItem(window, 1001) &&
        TitleIs(window, title))
      return window;
  return nullptr;
}

HWND FindMessageBox() {
  for (HWND window : TopLevelDialogs())
    if (IsWindowVisible(window) && GetDlgItem(window, kMessageBoxTextId))
      return window;
  return nullptr;
}

// Polls `probe` every 20 ms until it succeeds or `ms` have passed.
template <typename Probe>
bool Poll(DWORD ms, Probe probe) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (probe()) return true;
    if (GetTickCount() - start >= ms) return false;
    Sleep(20);
  }
}

// Splits "ARGS... LAST" at the last blank: for commands whose text argument
// may hold blanks and whose last argument is a number.
bool SplitLast(const std::string& args, std::string* text, DWORD* number) {
  const size_t blank = args.rfind(' ');
  if (blank == std::string::npos) return false;
  *text = args.substr(0, blank);
  *number = DWORD(std::strtoul(args.c_str() + blank + 1, nullptr, 10));
  return true;
}

std::string ControlState(int id) {
  HWND control = GetDlgItem(currentDialog, id);
  if (!control) return std::to_string(id) + "=missing";
  std::wstring text;
  ReadTextW(control, &text);
  return std::to_string(id) + (IsWindowEnabled(control) ? "=on:" : "=off:") +
         Printable(Utf8(text));
}

int FocusedId() {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  DWORD thread = GetWindowThreadProcessId(currentDialog, nullptr);
  if (!GetGUIThreadInfo(thread, &info) || !info.hwndFocus) return 0;
  return GetDlgCtrlID(info.hwndFocus);
}

std::string MessageBoxReport(HWND box) {
  std::string report = "caption=" + Caption(box);
  HWND text = GetDlgItem(box, kMessageBoxTextId);
  std::string ansi;
  std::wstring wide;
  ReadTextA(text, &ansi);
  ReadTextW(text, &wide);
  report += " | text=" + Printable(Utf8(wide)) + " | hex=" + HexOf(ansi, wide);
  HWND owner = GetWindow(box, GW_OWNER);
  report += " | owner=" + (owner ? Caption(owner) : std::string("none"));
  report += " | buttons=";
  const char* separator = "";
  for (int id = IDOK; id <= IDNO; ++id) {
    if (HWND button = GetDlgItem(box, id); button && IsWindowVisible(button)) {
      std::wstring label;
      ReadTextW(button, &label);
      report += separator + std::to_string(id) + ":" + Utf8(label);
      separator = ",";
    }
  }
  bool icon = false;
  for (HWND child = GetWindow(box, GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        IsWindowVisible(child) &&
        SendMessageA(child, STM_GETICON, 0, 0) != 0)
      icon = true;
  }
  return report + " | icon=" + (icon ? "yes" : "no");
}

// ---- layout ----------------------------------------------------------------
//
// Font handles belong to the process that made them, so the text is
// measured in a font made here the way the dialog manager makes it: the
// template's face and points at the window's DPI, or the system's message
// font at that DPI for a message box.

std::string Awareness(HWND window) {
  const DPI_AWARENESS_CONTEXT context = GetWindowDpiAwarenessContext(window);
  if (AreDpiAwarenessContextsEqual(context, DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2))
    return "permonitorv2";
  switch (GetAwarenessFromDpiAwarenessContext(context)) {
    case DPI_AWARENESS_PER_MONITOR_AWARE: return "permonitor";
    case DPI_AWARENESS_SYSTEM_AWARE: return "system";
    case DPI_AWARENESS_UNAWARE: return "unaware";
    default: return "unknown";
  }
}

HFONT MeasuringFont(const std::string& args, UINT dpi) {
  if (args == "box") {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics,
                                    &metrics, 0, dpi))
      return nullptr;
    return CreateFontIndirectW(&metrics.lfMessageFont);
  }
  const size_t blank = args.find(' ');
  if (blank == std::string::npos) return nullptr;
  const int points = std::atoi(args.c_str());
  return CreateFontW(-MulDiv(points, int(dpi), 72), 0, 0, 0, FW_NORMAL, FALSE,
                     FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_DONTCARE,
                     Wide(args.substr(blank + 1)).c_str());
}

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," +
         std::to_string(r.right - r.left) + "," + std::to_string(r.bottom - r.top);
}

// What is wrong with the text of one control in `font`, or nothing: a
// button's line must fit inside its edges, a static text wrapped to its
// width must fit its height.
std::string TextProblem(HWND control, HDC dc, const RECT& rect, UINT dpi) {
  std::wstring text;
  if (!ReadTextW(control, &text) || text.empty()) return "";
  char className[32] = {};
  GetClassNameA(control, className, sizeof className);
  const LONG style = GetWindowLongA(control, GWL_STYLE);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  RECT needed = {0, 0, width, 0};
  if (lstrcmpiA(className, "Button") == 0) {
    DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_SINGLELINE);
    const int edges = 2 * GetSystemMetricsForDpi(SM_CXEDGE, dpi);
    if (needed.right + edges > width || needed.bottom > height)
      return "text needs " + std::to_string(needed.right + edges) + "x" +
             std::to_string(needed.bottom);
    return "";
  }
  if (lstrcmpiA(className, "Static") == 0 && (style & SS_TYPEMASK) <= SS_RIGHT) {
    DrawTextW(dc, text.c_str(), -1, &needed,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS |
                  ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0));
    if (needed.right > width || needed.bottom > height)
      return "text needs " + std::to_string(needed.right) + "x" +
             std::to_string(needed.bottom);
  }
  return "";
}

std::string Layout(HWND window, const std::string& args) {
  const UINT dpi = GetDpiForWindow(window);
  RECT client;
  GetClientRect(window, &client);
  std::string report = "dpi=" + std::to_string(dpi) + " aware=" + Awareness(window) +
                       " client=" + std::to_string(client.right) + "x" +
                       std::to_string(client.bottom);
  HFONT font = MeasuringFont(args, dpi);
  if (!font) return "error usage: layout POINTS FACE | layout box";
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  struct Placed {
    int id;
    RECT rect;
  };
  std::vector<Placed> placed;
  std::string problems;
  for (HWND child = GetWindow(window, GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    const int id = GetDlgCtrlID(child);
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    report += " " + std::to_string(id) + ":" + RectText(rect);
    if (rect.left < 0 || rect.top < 0 || rect.right > client.right ||
        rect.bottom > client.bottom)
      problems += " " + std::to_string(id) + " outside the client area;";
    for (const Placed& other : placed) {
      RECT both;
      if (IntersectRect(&both, &rect, &other.rect))
        problems += " " + std::to_string(id) + " overlaps " +
                    std::to_string(other.id) + ";";
    }
    const std::string text = TextProblem(child, dc, rect, dpi);
    if (!text.empty()) problems += " " + std::to_string(id) + " " + text + ";";
    placed.push_back({id, rect});
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(font);
  if (placed.empty()) problems += " no controls;";
  return problems.empty() ? "ok " + report : "error" + problems + " " + report;
}

std::string Click(HWND window, int id) {
  HWND button = GetDlgItem(window, id);
  if (!button) return "error no control " + std::to_string(id);
  if (!IsWindowEnabled(button)) return "error disabled " + std::to_string(id);
  // Posted, not sent: the click may start a run with modal boxes of its own.
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(button));
  return "ok";
}

std::string Run(const std::string& command, const std::string& args) {
  if (command == "acp") return "ok " + std::to_string(GetACP());
  if (command == "hexof") {
    if (args != "ansi" && args != "utf16") return "error usage: hexof ansi|utf16";
    hexOfUtf16 = args == "utf16";
    return "ok";
  }
  if (command == "count") {
    int n = 0;
    for (HWND window : TopLevelDialogs())
      if (TitleIs(window, Wide(args))) ++n;
    return "ok " + std::to_string(n);
  }
  if (command == "foreground") {
    HWND window = GetForegroundWindow();
    return window ? "ok " + Caption(window) : "ok none";
  }
  if (command == "drivetype") return "ok " + std::to_string(GetDriveTypeA(args.c_str()));
  if (command == "layout" && args == "box") {
    if (!currentBox || !IsWindow(currentBox)) return "error no message box";
    return Layout(currentBox, args);
  }
  if (command == "closeclass") {
    int n = 0;
    while (HWND window = FindWindowA(args.c_str(), nullptr)) {
      if (++n > 16) return "error still open";
      SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG,
                          kReadTimeoutMs, nullptr);
    }
    return "ok " + std::to_string(n);
  }
  if (command == "wait") {
    std::string caption;
    DWORD ms;
    if (!SplitLast(args, &caption, &ms)) return "error usage: wait CAPTION MS";
    const std::wstring title = Wide(caption);
    if (!Poll(ms, [&] { return (currentDialog = FindDialog(title)) != nullptr; }))
      return "timeout";
    return "ok";
  }
  if (command == "msgbox") {
    HWND box = nullptr;
    if (!Poll(DWORD(std::atoi(args.c_str())),
              [&] { return (box = FindMessageBox()) != nullptr; }))
      return "timeout";
    // Its controls are filled while it is being created: read once it shows.
    Sleep(100);
    currentBox = box;
    return "ok " + MessageBoxReport(box);
  }
  if (command == "answer") {
    if (!currentBox || !IsWindow(currentBox)) return "error no message box";
    const std::string clicked =
        Click(currentBox, args == "cancel" ? IDCANCEL : IDOK);
    if (clicked != "ok") return clicked;
    // Gone before the next command, which may wait for the next box.
    HWND box = currentBox;
    currentBox = nullptr;
    return Poll(5000, [&] { return !IsWindow(box); }) ? "ok" : "timeout";
  }
  if (command == "waitclass") {
    std::string windowClass;
    DWORD ms;
    if (!SplitLast(args, &windowClass, &ms)) return "error usage: waitclass CLASS MS";
    return Poll(ms, [&] { return FindWindowA(windowClass.c_str(), nullptr) != nullptr; })
               ? "ok"
               : "timeout";
  }
  if (command == "gone") {
    HWND dialog = currentDialog;
    return Poll(DWORD(std::atoi(args.c_str())), [&] { return !IsWindow(dialog); })
               ? "ok"
               : "timeout";
  }
  if (!currentDialog || !IsWindow(currentDialog)) return "error no dialog";
  if (command == "title") {
    const std::string text = Describe(currentDialog);
    return text.empty() ? "error busy" : "ok " + text;
  }
  if (command == "info" || command == "control") {
    const int id = command == "info" ? 1001 : std::atoi(args.c_str());
    HWND control = GetDlgItem(currentDialog, id);
    if (!control) return "error no control";
    const std::string text = Describe(control);
    if (text.empty()) return "error busy";
    return "ok " + text +
           (command == "control"
                ? (IsWindowEnabled(control) ? " enabled" : " disabled")
                : "");
  }
  if (command == "waitinfo") {
    std::string expected;
    DWORD ms;
    if (!SplitLast(args, &expected, &ms)) return "error usage: waitinfo TEXT MS";
    const std::wstring want = Wide(expected);
    HWND control = GetDlgItem(currentDialog, 1001);
    std::wstring text;
    const bool seen = Poll(ms, [&] { return ReadTextW(control, &text) && text == want; });
    return (seen ? "ok " : "timeout ") + Describe(control);
  }
  if (command == "buttons")
    return "ok " + ControlState(4) + " " + ControlState(1) + " " +
           ControlState(2) + " focus=" + std::to_string(FocusedId());
  if (command == "press") return Click(currentDialog, std::atoi(args.c_str()));
  if (command == "layout") return Layout(currentDialog, args);
  if (command == "close") {
    PostMessageA(currentDialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    return "ok";
  }
  return "error unknown command " + command;
}

}  // namespace

int main() {
  // Other programs' windows in their real pixels, not scaled to 96 DPI.
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  // Byte for byte: no CR LF translation on either side.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  char line[4096];
  while (std::fgets(line, sizeof line, stdin)) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
      text.pop_back();
    if (text.empty()) continue;
    const size_t blank = text.find(' ');
    const std::string command = text.substr(0, blank);
    const std::string args =
        blank == std::string::npos ? "" : text.substr(blank + 1);
    if (command == "exit") {
      std::printf("ok\n");
      break;
    }
    std::printf("%s\n", Run(command, args).c_str());
    std::fflush(stdout);
  }
  return 0;
}
