// The grammar of CopyFileNN values: taken apart by position.
#include <gtest/gtest.h>

#include "updater/updater.h"

namespace {

struct Line {
  const char* value;
  int32_t instMode;
  bool applies;
  int32_t diskNumber;
  const char* path;
};

TEST(CopyLine, FilterDiskAndPath) {
  const Line lines[] = {
      {"1:Movie\\Op.mpg", 1, true, 1, "Movie\\Op.mpg"},
      {"2,1:Movie", 2, true, 1, "Movie"},
      {"2,1:Movie", 1, false, 0, ""},
      {"2:Voice", 5, true, 2, "Voice"},
      {"Extra\\Bonus.dat", 0, true, 0, "Extra\\Bonus.dat"},
      {"3,Extra", 3, true, 0, "Extra"},
      {"0:Extra", 1, true, 0, "Extra"},
      // Nothing is skipped or split: blanks and later commas are the path.
      {" 1:A.dat", 1, true, 0, " 1:A.dat"},
      {"1, A,B.dat", 1, true, 0, " A,B.dat"},
      {"1,2,A.dat", 1, true, 0, "2,A.dat"},
      {"12,1:A.dat", 1, true, 0, "12,1:A.dat"},
      // Short values never read past their end.
      {"1", 1, true, 0, "1"},
      {"1,", 1, true, 0, ""},
      {"1:", 1, true, 1, ""},
      // Any character stands for its code minus '0', digit or not.
      {"A:Movie", 1, true, 'A' - '0', "Movie"},
      {"/:Movie", 1, true, -1, "Movie"},
      {"A,1:Movie", 'A' - '0', true, 1, "Movie"},
      // "ソ" (0x83 0x5C) passes through whole.
      {"1:ムービー\\ソ.mpg", 1, true, 1, "ムービー\\ソ.mpg"},
  };
  for (const Line& line : lines) {
    SCOPED_TRACE(line.value);
    CopyItem item = {};
    ASSERT_EQ(ParseCopyLine(line.value, line.instMode, &item), line.applies);
    if (!line.applies) continue;
    EXPECT_EQ(item.DiskNumber, line.diskNumber);
    EXPECT_STREQ(item.Path, line.path);
  }
}

}  // namespace
