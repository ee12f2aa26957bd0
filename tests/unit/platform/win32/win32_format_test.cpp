// snprintf and vsnprintf go through the system's formatter on Windows (see
// the platform layer's format.cpp): the C99 answers must hold all the same.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

int Format(char* dest, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(dest, size, format, args);
  va_end(args);
  return length;
}

TEST(Win32Format, CutTextEndsWithNulAndTellsTheFullLength) {
  char small[8];
  std::memset(small, 'x', sizeof small);
  EXPECT_EQ(std::snprintf(small, sizeof small, "%s-%02i", "abcdefgh", 5), 11);
  EXPECT_STREQ(small, "abcdefg");

  // Exactly the room without the NUL: msvcrt alone would leave no NUL.
  char exact[5];
  std::memset(exact, 'x', sizeof exact);
  EXPECT_EQ(Format(exact, sizeof exact, "%i", 12345), 5);
  EXPECT_STREQ(exact, "1234");

  char none[1] = {'x'};
  EXPECT_EQ(Format(none, 0, "%s", "abc"), 3);
  EXPECT_EQ(none[0], 'x');
}

TEST(Win32Format, TheFormatsTheUpdaterUses) {
  char text[64];
  EXPECT_EQ(Format(text, sizeof text, "UpdateFile%02i", 7), 12);
  EXPECT_STREQ(text, "UpdateFile07");
  Format(text, sizeof text, "%s : %s キーが存在しません", "SETUP", "GameDir");
  EXPECT_STREQ(text, "SETUP : GameDir キーが存在しません");
  Format(text, sizeof text, "%i %u %s", -5, 4000000000u, "ソ\\");
  EXPECT_STREQ(text, "-5 4000000000 ソ\\");
}

}  // namespace
