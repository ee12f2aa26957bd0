// The grammar of UpdateFileNN and CopyFileNN values, and what its notes
// tell a checker.
#include <gtest/gtest.h>

#include <string>

#include "profile/profile.h"
#include "profile/update_lines.h"

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

struct CopyCase {
  const char* value;
  int32_t instMode;
  bool applies;
  int32_t diskNumber;
  const char* path;
};

TEST(CopyLine, FilterDiskAndPath) {
  const CopyCase lines[] = {
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
  for (const CopyCase& line : lines) {
    SCOPED_TRACE(line.value);
    CopyItem item = {};
    ASSERT_EQ(ParseCopyLine(line.value, line.instMode, &item), line.applies);
    if (!line.applies) continue;
    EXPECT_EQ(item.DiskNumber, line.diskNumber);
    EXPECT_STREQ(item.Path, line.path);
  }
}

// What the grammar tells a checker: the fields a line's meaning took, the
// positions of a copy line, a dropped prefix and why a list stopped, a
// plain number.
TEST(LineNotes, TellWhatTheGrammarLeftAside) {
  UpdateItem item = {};
  UpdateLineNote update = {};
  // Filtered out, but taken apart all the same.
  EXPECT_FALSE(ParseUpdateLine("2,u,A.dat,extra", 1, &item, &update));
  EXPECT_EQ(item.Mode, ModeUpdate);
  EXPECT_STREQ(item.Path, "A.dat");
  EXPECT_EQ(update.fieldsUsed, 3);
  ParseUpdateLine("x,A.dat", 1, &item, &update);
  EXPECT_EQ(update.fieldsUsed, 1);

  CopyItem copy = {};
  CopyLineNote positions = {};
  EXPECT_FALSE(ParseCopyLine("x,C:Movie", 1, &copy, &positions));
  EXPECT_EQ(positions.filter, 'x');
  EXPECT_EQ(positions.disk, 'C');
  EXPECT_STREQ(copy.Path, "Movie");
  ParseCopyLine("Movie", 1, &copy, &positions);
  EXPECT_EQ(positions.filter, '\0');
  EXPECT_EQ(positions.disk, '\0');

  // Before a field: the prefix NextListField will drop. After the last
  // one: why no further field came, and what was never read.
  char slot[260];
  const char* text = "C:A.dat, ,B.dat";
  EXPECT_EQ(ListFieldPrefix(text), text);
  ASSERT_EQ(NextListField(slot, &text), 1);
  const char* unread = nullptr;
  EXPECT_EQ(ListFieldPrefix(text), nullptr);
  EXPECT_EQ(NextListField(slot, &text), 0);
  EXPECT_EQ(ListStopAt(text, &unread), kListEmptyField);
  EXPECT_STREQ(unread, "B.dat");
  const std::string tooLong = "A," + std::string(260, 'x');
  text = tooLong.c_str();
  ASSERT_EQ(NextListField(slot, &text), 1);
  EXPECT_EQ(NextListField(slot, &text), 0);
  EXPECT_EQ(ListStopAt(text, &unread), kListFieldTooLong);
  EXPECT_EQ(unread, tooLong.c_str() + 2);
  text = "A";
  ASSERT_EQ(NextListField(slot, &text), 1);
  EXPECT_EQ(NextListField(slot, &text), 0);
  EXPECT_EQ(ListStopAt(text, &unread), kListEnd);

  const struct {
    const char* text;
    uint32_t value;
    bool plain;
  } numbers[] = {{"100", 100, true},        {"4294967295", 4294967295u, true},
                 {"4294967296", 4294967295u, false}, {"00000000001", 1, false},
                 {" 5", 5, false},          {"+5", 5, false},
                 {"-1", 4294967295u, false}, {"100MB", 100, false},
                 {"", 0, false}};
  for (const auto& n : numbers) {
    EXPECT_EQ(ParseUnsigned32(n.text), n.value) << n.text;
    EXPECT_EQ(IsPlainUnsigned32(n.text), n.plain) << n.text;
  }
}

}  // namespace
