#include "platform/win32/shown_text.h"

#include <cstdlib>

namespace {
// The code page every text of the program is written in.
constexpr UINT kProgramCodePage = 932;
}  // namespace

ShownText::ShownText(const char* text) : wide_(nullptr) {
  const int length = MultiByteToWideChar(kProgramCodePage, 0, text, -1,
                                         nullptr, 0);
  if (length <= 0) return;
  wide_ = static_cast<wchar_t*>(std::malloc(sizeof(wchar_t) * length));
  if (wide_ &&
      MultiByteToWideChar(kProgramCodePage, 0, text, -1, wide_, length) !=
          length) {
    std::free(wide_);
    wide_ = nullptr;
  }
}

ShownText::~ShownText() { std::free(wide_); }
