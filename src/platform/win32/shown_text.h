// What the user reads: the program's Shift-JIS texts as UTF-16, for the wide
// window functions, so they read right whatever the system's code page is.
// Paths, profiles, the registry and other programs' windows stay ANSI.
#pragma once
#include <windows.h>

class ShownText {
 public:
  explicit ShownText(const char* text);
  ~ShownText();
  ShownText(const ShownText&) = delete;
  ShownText& operator=(const ShownText&) = delete;

  // Null when the text could not be converted: no memory, or a system
  // without code page 932. Callers then use the ANSI call, which is what
  // the program always did and reads right on a Japanese system.
  const wchar_t* get() const { return wide_; }

 private:
  wchar_t* wide_;
};
