// Code page 932 conversions through the Windows API: file names and the
// command line are UTF-16.
#include <windows.h>
#include <shellapi.h>

#include "codepage.h"

namespace {

constexpr UINT kShiftJis = 932;

// `text` in code page `page` as UTF-16; nothing when a byte does not convert
// and `strict` is set.
std::optional<std::wstring> ToWide(UINT page, std::string_view text,
                                   bool strict) {
  if (text.empty()) return std::wstring();
  const DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
  const int size = static_cast<int>(text.size());
  const int count = MultiByteToWideChar(page, flags, text.data(), size,
                                        nullptr, 0);
  if (count <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(page, flags, text.data(), size, wide.data(), count);
  return wide;
}

// UTF-16 in code page `page`; nothing when a character has no exact form
// there (no best-fit stand-ins).
std::optional<std::string> FromWide(UINT page, std::wstring_view wide) {
  if (wide.empty()) return std::string();
  const bool exact = page != CP_UTF8;
  const DWORD flags = exact ? WC_NO_BEST_FIT_CHARS : 0;
  const int size = static_cast<int>(wide.size());
  BOOL defaulted = FALSE;
  BOOL* usedDefault = exact ? &defaulted : nullptr;
  const int count = WideCharToMultiByte(page, flags, wide.data(), size,
                                        nullptr, 0, nullptr, usedDefault);
  if (count <= 0 || defaulted) return std::nullopt;
  std::string text(static_cast<size_t>(count), '\0');
  WideCharToMultiByte(page, flags, wide.data(), size, text.data(), count,
                      nullptr, nullptr);
  return text;
}

// Characters that text made outside Windows writes for ones of code page
// 932 (the JIS forms of 〜 ‖ − ¢ £ ¬ —, and ¥ ‾ for the ASCII bytes that
// Shift-JIS shows so), taken as those, as the C library's CP932 takes them:
// the Linux and the Windows updpack accept the same text.
constexpr struct {
  wchar_t from, to;
} kOneWayForms[] = {{0x00A2, 0xFFE0}, {0x00A3, 0xFFE1}, {0x00A5, 0x005C},
                    {0x00AC, 0xFFE2}, {0x2014, 0x2015}, {0x2016, 0x2225},
                    {0x203E, 0x007E}, {0x2212, 0xFF0D}, {0x301C, 0xFF5E}};

std::optional<std::string> ToShiftJis(std::wstring_view wide) {
  std::wstring mapped(wide);
  for (wchar_t& c : mapped) {
    for (const auto& form : kOneWayForms) {
      if (c == form.from) c = form.to;
    }
  }
  return FromWide(kShiftJis, mapped);
}

}  // namespace

std::string Cp932ToUtf8(std::string_view text) {
  const auto wide = ToWide(kShiftJis, text, false);
  return wide ? FromWide(CP_UTF8, *wide).value_or("") : std::string();
}

std::optional<std::string> FileNameToCp932(const std::filesystem::path& name) {
  return ToShiftJis(name.native());
}

std::optional<std::filesystem::path> Cp932ToFileName(std::string_view name) {
  auto wide = ToWide(kShiftJis, name, true);
  if (!wide) return std::nullopt;
  return std::filesystem::path(*wide);
}

std::optional<std::string> NarrowPath(const std::filesystem::path& path) {
  return FromWide(CP_ACP, path.native());
}

std::optional<std::string> Utf8ToCp932(std::string_view text) {
  const auto wide = ToWide(CP_UTF8, text, true);
  if (!wide) return std::nullopt;
  return ToShiftJis(*wide);
}

// main's own arguments are in the ANSI code page, which cannot hold every
// file name; the wide command line can.
std::vector<std::string> Utf8Arguments(int, char**) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 0; wide && i < count; ++i) {
    arguments.push_back(FromWide(CP_UTF8, wide[i]).value_or(""));
  }
  LocalFree(wide);
  return arguments;
}

void PrepareConsole() { SetConsoleOutputCP(CP_UTF8); }
