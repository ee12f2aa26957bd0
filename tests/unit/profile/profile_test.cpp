// The profile readers and the list-field tokenizer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "message_box_capture.h"
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

// Both profiles in a temporary folder.
class ProfileReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProfileState();
    folder_ = std::filesystem::temp_directory_path() /
              ("profile_" + std::string(::testing::UnitTest::GetInstance()
                                            ->current_test_info()
                                            ->name()));
    std::filesystem::create_directories(folder_);
    Write(UpdateIniPath, "UPDATE.INI",
          "[SETUP]\r\nGameDir=" + std::string(300, 'v') +
              "\r\nGameTitle=ab\r\nGameClass=\r\n[UPDATE]\r\n");
    Write(SetupIniPath, "SETUP.INI",
          "[SETUP]\r\nBlank=\"  12\"\r\nWord=abc\r\nMinus=-5\r\n"
          "Big=99999999999\r\nSmall=-99999999999\r\nOrdinal=3rd\r\n"
          "Long=0000000000000000001234\r\n");
  }
  void TearDown() override {
#ifndef _WIN32
    EXPECT_TRUE(capture_.Take().empty());
#endif
    std::filesystem::remove_all(folder_);
  }
  void Write(char* path, const char* name, const std::string& text) {
    std::snprintf(path, 260, "%s", (folder_ / name).string().c_str());
    std::FILE* file = std::fopen(path, "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }

  std::filesystem::path folder_;
#ifndef _WIN32
  MessageBoxCapture capture_;
#endif
};

TEST_F(ProfileReaderTest, ValueIsCutAtCapacityAndTheRestZeroed) {
  char dest[300];
  std::memset(dest, 'x', sizeof dest);
  EXPECT_EQ(ReadProfileString("SETUP", "GameDir", dest, 260), 1);
  EXPECT_EQ(std::string(dest), std::string(259, 'v'));
  EXPECT_EQ(dest[260], 'x');

  std::memset(dest, 'x', sizeof dest);
  EXPECT_EQ(ReadProfileString("setup", "GAMETITLE", dest, 20), 1);
  EXPECT_STREQ(dest, "ab");
  for (int i = 2; i < 20; ++i) ASSERT_EQ(dest[i], '\0') << i;
  EXPECT_EQ(dest[20], 'x');
}

TEST_F(ProfileReaderTest, SilentReadsOfMissingKeys) {
  char dest[260] = "stale";
  // SETUP.INI's keys are never reported.
  EXPECT_EQ(ReadSetupString("GameDir", dest, sizeof dest), 0);
  EXPECT_STREQ(dest, "");
  // Nor UPDATE.INI's once the optional keys are being read.
  OptionalKeysMode = 1;
  EXPECT_EQ(ReadProfileString("SETUP", "GameClass", dest, sizeof dest), 0);
  EXPECT_EQ(ReadProfileString("UPDATE", "UpdateFile00", dest, sizeof dest), 0);
  std::snprintf(UpdateIniPath, sizeof UpdateIniPath, "%s",
                (folder_ / "NONE.INI").string().c_str());
  EXPECT_EQ(ReadProfileString("SETUP", "GameTitle", dest, sizeof dest), 0);
}

TEST_F(ProfileReaderTest, IntegersConvertLikeStrtolClampedTo32Bits) {
  const std::pair<const char*, int32_t> cases[] = {
      {"Blank", 12},         {"Word", 0},          {"Minus", -5},
      {"Big", INT32_MAX},    {"Small", INT32_MIN}, {"Ordinal", 3},
      // Only 19 characters are read: "0000000000000000001".
      {"Long", 1}};
  for (const auto& [key, expected] : cases) {
    int32_t value = 42;
    EXPECT_EQ(ReadSetupInt(key, &value), 1) << key;
    EXPECT_EQ(value, expected) << key;
  }
  int32_t value = 42;
  EXPECT_EQ(ReadSetupInt("Missing", &value), 0);
  EXPECT_EQ(value, 42);
}

#ifndef _WIN32
TEST_F(ProfileReaderTest, MissingOrEmptyUpdateIniKeyIsReportedUntilOptional) {
  char dest[260];
  EXPECT_EQ(ReadProfileString("SETUP", "GameClass", dest, sizeof dest), 0);
  EXPECT_EQ(ReadProfileString("UPDATE", "CompanyName", dest, sizeof dest), 0);
  const auto boxes = capture_.Take();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "SETUP : GameClass キーが存在しません");
  EXPECT_EQ(boxes[1].text, "UPDATE : CompanyName キーが存在しません");
  EXPECT_EQ(boxes[0].caption, "INSTCMMN");
  EXPECT_EQ(boxes[0].buttons, kPlatButtonsOk);
  EXPECT_EQ(boxes[0].icon, kPlatIconError);
  EXPECT_EQ(boxes[0].owner, nullptr);
}
#endif

}  // namespace
