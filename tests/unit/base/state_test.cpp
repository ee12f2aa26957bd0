// The shared state's helpers: the path join, the volume of a path, the
// error box.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/state.h"
#include "message_box_capture.h"

namespace {

struct PathBuffer {
  char bytes[kPathSize];
  explicit PathBuffer(const char* text) {
    std::memset(bytes, 'x', sizeof bytes);
    std::strcpy(bytes, text);
  }
  // The text and whether a second NUL follows it.
  std::string Text() const { return bytes; }
  bool DoubleNul() const {
    const size_t n = std::strlen(bytes);
    return n + 1 < sizeof bytes && bytes[n + 1] == '\0';
  }
};

TEST(AppendPathComponent, JoinsWithOneSeparatorAndTwoNuls) {
  PathBuffer path("C:\\Game");
  ASSERT_TRUE(AppendPathComponent(path.bytes, "SETUP.INI"));
  EXPECT_EQ(path.Text(), "C:\\Game\\SETUP.INI");
  EXPECT_TRUE(path.DoubleNul());

  for (const char* base : {"C:\\Game\\", "C:\\Game/"}) {
    PathBuffer ended(base);
    ASSERT_TRUE(AppendPathComponent(ended.bytes, "SETUP.INI"));
    EXPECT_EQ(ended.Text(), std::string(base) + "SETUP.INI");
    EXPECT_TRUE(ended.DoubleNul());
  }

  PathBuffer empty("");
  ASSERT_TRUE(AppendPathComponent(empty.bytes, "Readme.txt"));
  EXPECT_EQ(empty.Text(), "Readme.txt");
  EXPECT_TRUE(empty.DoubleNul());
}

TEST(AppendPathComponent, LooksAtTheLastByteNotTheLastCharacter) {
  // "ソ" is 0x83 0x5C in Shift-JIS: its second byte reads as a backslash.
  PathBuffer path("C:\\\x83\x5C");
  ASSERT_TRUE(AppendPathComponent(path.bytes, "A.DAT"));
  EXPECT_EQ(path.Text(), "C:\\\x83\x5C" "A.DAT");
}

TEST(AppendPathComponent, RefusesAJoinThatDoesNotFit) {
  // 250 + separator + 7 + two NULs = 260: fits exactly.
  const std::string base(250, 'a');
  PathBuffer path(base.c_str());
  ASSERT_TRUE(AppendPathComponent(path.bytes, "1234567"));
  EXPECT_EQ(path.Text(), base + "\\1234567");
  EXPECT_TRUE(path.DoubleNul());

  // One byte more is refused and the buffer is left as it was.
  PathBuffer longer(base.c_str());
  PathBuffer before = longer;
  EXPECT_FALSE(AppendPathComponent(longer.bytes, "12345678"));
  EXPECT_EQ(std::memcmp(longer.bytes, before.bytes, kPathSize), 0);

  // Without a separator there is room for one more byte.
  const std::string ended = std::string(249, 'a') + "\\";
  PathBuffer path2(ended.c_str());
  EXPECT_TRUE(AppendPathComponent(path2.bytes, "12345678"));
  EXPECT_FALSE(AppendPathComponent(path2.bytes, "x"));
}

// One rule for the volume of a path, for the run's free-space page and for
// each file's own check.
TEST(VolumeRootOf, DriveLetterElseTheHoldingFolder) {
  const struct {
    const char* path;
    const char* root;
  } cases[] = {
      {"C:\\Games\\Story", "C:"},
      {"d:", "d:"},
      {"\\\\server\\share\\Game", "\\\\server\\share\\"},
      {"/home/player/Game", "/home/player/"},
      {"Game", "."},
      // The second byte of "ソ" is 0x5C and separates nothing.
      {"Data\\ソ", "Data\\"},
      {"ソ", "."},
  };
  for (const auto& c : cases) {
    char root[kPathSize];
    VolumeRootOf(c.path, root);
    EXPECT_STREQ(root, c.root) << c.path;
  }
}

#ifndef _WIN32
TEST(UpdaterState, ErrorBoxIsOwnedByTheDialogOnceItExists) {
  ResetUpdaterState();
  MessageBoxCapture capture;
  ShowUpdaterError("first");
  // Any handle will do: the scripted user only passes it on.
  const PlatWindow dialog = reinterpret_cast<PlatWindow>(0x1001);
  DialogWindow = dialog;
  std::strcpy(WindowCaption, "Title Ver1.01 アップデート");
  ShowUpdaterError("second");
  const auto boxes = capture.Take();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_EQ(boxes[0].caption, "UPDATE");
  EXPECT_EQ(boxes[1].owner, dialog);
  EXPECT_EQ(boxes[1].caption, "Title Ver1.01 アップデート");
  EXPECT_EQ(boxes[1].text, "second");
  EXPECT_EQ(boxes[1].buttons, kPlatButtonsOk);
  EXPECT_EQ(boxes[1].icon, kPlatIconError);
  ResetUpdaterState();
}

#endif

}  // namespace
