// The profile readers and the list-field tokenizer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "profile/profile.h"

namespace {

struct Field {
  std::string text;
  int disk;
};

// Every field of `value` until NextListField says the list is over; also
// checks that the list stays over.
std::vector<Field> Fields(const char* value, const char** end = nullptr) {
  std::vector<Field> fields;
  const char* cursor = value;
  char slot[260];
  while (NextListField(slot, &cursor)) {
    fields.push_back({slot, CurrentDiskNumber});
    if (fields.size() > 100) break;
  }
  const char* rest = cursor;
  EXPECT_EQ(NextListField(slot, &cursor), 0);
  EXPECT_EQ(cursor, rest);
  if (end) *end = cursor;
  return fields;
}

class ListFieldTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetProfileState(); }
};

TEST_F(ListFieldTest, BlanksAreSkippedOnlyBeforeAField) {
  auto fields = Fields("A.DAT, B.DAT ,D.DAT");
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0].text, "A.DAT");
  EXPECT_EQ(fields[1].text, "B.DAT ");
  EXPECT_EQ(fields[2].text, "D.DAT");
  // A tab is not a blank.
  fields = Fields("\tA");
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].text, "\tA");
}

TEST_F(ListFieldTest, DiskPrefixHoldsUntilTheNextOne) {
  auto fields = Fields("1:A.DAT,B.DAT,2:D.DAT");
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0].text, "A.DAT");
  EXPECT_EQ(fields[0].disk, 1);
  EXPECT_EQ(fields[1].text, "B.DAT");
  EXPECT_EQ(fields[1].disk, 1);
  EXPECT_EQ(fields[2].text, "D.DAT");
  EXPECT_EQ(fields[2].disk, 2);
}

TEST_F(ListFieldTest, PrefixIsAnyCharacterBeforeASecondColon) {
  CurrentDiskNumber = 5;
  auto fields = Fields("D:\\GAME\\X.DAT");
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].text, "\\GAME\\X.DAT");
  EXPECT_EQ(fields[0].disk, 0);

  CurrentDiskNumber = 5;
  fields = Fields("12:A.DAT");
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].text, "12:A.DAT");
  EXPECT_EQ(fields[0].disk, 5);

  // No blanks are skipped after the prefix, and the field may be empty.
  fields = Fields("3: A,4:,X");
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0].text, " A");
  EXPECT_EQ(fields[1].text, "");
  EXPECT_EQ(fields[1].disk, 4);
  EXPECT_EQ(fields[2].text, "X");
  EXPECT_EQ(fields[2].disk, 4);
}

TEST_F(ListFieldTest, EmptyFieldEndsTheListWithCursorOnTheTerminator) {
  const char* end = nullptr;
  const char* value = "A,,B";
  auto fields = Fields(value, &end);
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(end, value + 2);

  value = "  ,A";
  EXPECT_TRUE(Fields(value, &end).empty());
  EXPECT_EQ(end, value + 2);

  // Line ends stop a field like a comma.
  fields = Fields("A\r\nB");
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].text, "A");
}

TEST_F(ListFieldTest, ListEndsOnItsNulAndNeverReadsPast) {
  // Bytes after the NUL would be read as a further field by a cursor that
  // stepped past it.
  const char value[] = "A, 2:B\0C,D";
  const char* end = nullptr;
  auto fields = Fields(value, &end);
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[1].text, "B");
  EXPECT_EQ(end, value + 6);
  // A prefix as the last two bytes.
  fields = Fields("A,7:", &end);
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[1].text, "");
  EXPECT_EQ(fields[1].disk, 7);
}

TEST_F(ListFieldTest, DoubleByteTextIsCopiedWhole) {
  // Shift-JIS "ソフト" has 0x5C as a second byte; none of the bytes the
  // tokenizer looks for can appear there.
  const char value[] = "\x83\x5C\x83\x74\x83\x67.DAT,B";
  auto fields = Fields(value);
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].text, "\x83\x5C\x83\x74\x83\x67.DAT");
}

TEST_F(ListFieldTest, FieldLongerThanTheSlotEndsTheList) {
  const std::string fits(259, 'a');
  auto fields = Fields((fits + ",B").c_str());
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].text, fits);

  // With a prefix the 259 characters are counted after it.
  fields = Fields(("1:" + fits).c_str());
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].text.size(), 259u);

  // One more character: nothing written, no disk taken, the list is over
  // (Fields also checks that it stays over). Guard bytes catch an overrun.
  const std::string value = "A,3:" + std::string(260, 'b') + ",C";
  struct {
    char slot[260];
    char guard[16];
  } out;
  std::memset(&out, 'x', sizeof out);
  const char* cursor = value.c_str();
  ASSERT_EQ(NextListField(out.slot, &cursor), 1);
  CurrentDiskNumber = 9;
  std::memset(&out, 'x', sizeof out);
  EXPECT_EQ(NextListField(out.slot, &cursor), 0);
  EXPECT_EQ(NextListField(out.slot, &cursor), 0);
  EXPECT_EQ(CurrentDiskNumber, 9);
  for (char c : out.slot) ASSERT_EQ(c, 'x');
  for (char c : out.guard) ASSERT_EQ(c, 'x');
}

}  // namespace
