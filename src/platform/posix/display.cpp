// Shift-JIS to UTF-8 for display, through iconv.
#include "platform/posix/display.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace {

void PrintLine(FILE* out, iconv_t converter, const char* text, size_t length) {
  char* in = const_cast<char*>(text);
  while (length > 0) {
    char buffer[1024];
    char* outPtr = buffer;
    size_t room = sizeof buffer;
    const size_t result = iconv(converter, &in, &length, &outPtr, &room);
    std::fwrite(buffer, 1, static_cast<size_t>(outPtr - buffer), out);
    if (result == static_cast<size_t>(-1) && errno != E2BIG) {
      // Not Shift-JIS, or cut off at the end: show one '?' and go on.
      std::fputc('?', out);
      ++in;
      --length;
      iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
  }
}

}  // namespace

void PrintSjis(FILE* out, const char* text) {
  static iconv_t converter = iconv_open("UTF-8", "CP932");
  for (const char* line = text;;) {
    const char* cr = std::strchr(line, '\r');
    const size_t length = cr ? static_cast<size_t>(cr - line) : std::strlen(line);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
      std::fwrite(line, 1, length, out);
    } else {
      PrintLine(out, converter, line, length);
    }
    if (!cr) break;
    std::fputc('\n', out);
    line = cr + 1;
  }
}
