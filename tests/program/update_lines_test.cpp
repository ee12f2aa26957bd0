// The grammar of UpdateFileNN values.
#include <gtest/gtest.h>

#include <string>

#include "profile/profile.h"
#include "updater/updater.h"

namespace {

struct Line {
  const char* value;
  int32_t instMode;
  bool applies;
  int32_t mode;
  const char* path;
  const char* entryName;
};

TEST(UpdateLine, FilterModeAndPath) {
  const Line lines[] = {
      {"Readme.txt", 1, true, ModeReplace, "Readme.txt", "Readme.txt"},
      {"u,Data\\Script.dat", 1, true, ModeUpdate, "Data\\Script.dat", "Script.dat"},
      {"U, Data\\Script.dat", 1, true, ModeUpdate, "Data\\Script.dat", "Script.dat"},
      {"2,d,Save\\Config.dat", 2, true, ModeData, "Save\\Config.dat", "Config.dat"},
      {"2,d,Save\\Config.dat", 1, false, 0, "", ""},
      {"1,Movie\\Op.dat", 1, true, ModeReplace, "Movie\\Op.dat", "Op.dat"},
      {"0,o,A\\B\\C.dat", 0, true, ModeOverwrite, "A\\B\\C.dat", "C.dat"},
      // Anything but one letter d, u or o is the path of a replaced file.
      {"x,Data\\A.dat", 1, true, ModeReplace, "x", "x"},
      {"12,u,A.dat", 1, true, ModeReplace, "12", "12"},
      {"uu,A.dat", 1, true, ModeReplace, "uu", "uu"},
      // A mode without a path, and a path that ends in a separator.
      {"u", 1, true, ModeUpdate, "", ""},
      {"o,Data\\", 1, true, ModeOverwrite, "Data\\", ""},
      // A slash separates nothing; "ソ" (0x83 0x5C) is one character.
      {"Data/A.dat", 1, true, ModeReplace, "Data/A.dat", "Data/A.dat"},
      {"d,セーブ\\ソフト.dat", 1, true, ModeData, "セーブ\\ソフト.dat", "ソフト.dat"},
      {"ソ", 1, true, ModeReplace, "ソ", "ソ"},
  };
  for (const Line& line : lines) {
    SCOPED_TRACE(line.value);
    UpdateItem item = {};
    ASSERT_EQ(ParseUpdateLine(line.value, line.instMode, &item), line.applies);
    if (!line.applies) continue;
    EXPECT_EQ(item.Mode, line.mode);
    EXPECT_STREQ(item.Path, line.path);
    EXPECT_STREQ(item.Path + item.NameOffset, line.entryName);
  }
}

TEST(UpdateLine, FieldsGoThroughTheListTokenizer) {
  UpdateItem item = {};
  // A second character ":" is a disk prefix and is dropped.
  ASSERT_TRUE(ParseUpdateLine("u,C:Data\\A.dat", 1, &item));
  EXPECT_STREQ(item.Path, "Data\\A.dat");
  // An empty first field leaves nothing: a replaced file without a name,
  // which the run then fails to find.
  ASSERT_TRUE(ParseUpdateLine(",u,A.dat", 1, &item));
  EXPECT_EQ(item.Mode, ModeReplace);
  EXPECT_STREQ(item.Path, "");
}

TEST(UpdateMessage, EscapesBecomeLoneCarriageReturns) {
  char out[64];
  ConvertMessageEscapes(out, "a\\nb");
  EXPECT_STREQ(out, "a\rb");
  ConvertMessageEscapes(out, "\\\\n\\N\\");
  EXPECT_STREQ(out, "\\\r\\N\\");
  // The second byte of "ソ" is 0x5C and starts no escape, even before n.
  ConvertMessageEscapes(out, "ソn");
  EXPECT_STREQ(out, "ソn");
  // A lead byte cut off by the end of the text is copied alone.
  ConvertMessageEscapes(out, "a\x83");
  EXPECT_STREQ(out, "a\x83");
}

}  // namespace
