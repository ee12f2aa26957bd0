// Text formatting by the system's C library. MinGW binds C++ code's snprintf
// and vsnprintf to a formatter of its own that carries floating-point
// printing the updater never uses, about half the executable's size. This
// takes the place of that formatter's entry point and keeps its promise: the
// output always ends with NUL, and the full length is returned when it was
// cut. Formats stay within what msvcrt.dll knows (%s, %i, %u, %02i, ...).
#include <cstdarg>
#include <cstdio>

extern "C" int __cdecl __mingw_vsnprintf(char* dest, size_t size,
                                         const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  int length = _vsnprintf(dest, size, format, args);
  // msvcrt's version answers -1, or exactly `size` without a NUL, when cut.
  if (length < 0 || size_t(length) >= size) {
    if (size) dest[size - 1] = '\0';
    length = _vscprintf(format, again);
  }
  va_end(again);
  return length;
}
