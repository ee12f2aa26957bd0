// The shared state's helpers: the path join and the caption's start value.
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
  EXPECT_EQ(boxes[1].type, kPlatMbIconError | kPlatMbOk);
  ResetUpdaterState();
}

// What the dialog shows when it first waits for the user.
struct DialogView {
  std::string info;
  bool backEnabled;
  bool nextEnabled;
};
DialogView gView;
void (*gInitialise)(PlatWindow);

DialogView ShowDialog(void (*initialise)(PlatWindow)) {
  gInitialise = initialise;
  const PosixUiDriver driver = {
      nullptr,
      [](void*, PlatWindow dialog) {
        gView = {PosixDialogControlText(dialog, kIdInfo),
                 PosixDialogControlEnabled(dialog, kIdBack),
                 PosixDialogControlEnabled(dialog, kIdNext)};
        return -1;  // leave the dialog
      },
      nullptr};
  PosixSetUiDriver(&driver);
  PlatRunDialog([](PlatWindow dialog, unsigned message, uintptr_t, intptr_t) {
    if (message == kPlatMsgInit) gInitialise(dialog);
    return 0;
  });
  PosixSetUiDriver(nullptr);
  return gView;
}

TEST(DialogHelpers, InfoTextIsFormattedAndCut) {
  DialogView view = ShowDialog([](PlatWindow dialog) {
    SetInfoText(dialog, "%s", "100% ゲーム %s");
    EnableControl(dialog, kIdBack, 1);
    EnableControl(dialog, kIdNext, 0);
  });
  EXPECT_EQ(view.info, "100% ゲーム %s");
  EXPECT_TRUE(view.backEnabled);
  EXPECT_FALSE(view.nextEnabled);

  view = ShowDialog([](PlatWindow dialog) {
    SetInfoText(dialog, "%s をコピーしています (%i)", "Data\\A.dat", -3);
  });
  EXPECT_EQ(view.info, "Data\\A.dat をコピーしています (-3)");

  view = ShowDialog([](PlatWindow dialog) {
    SetInfoText(dialog, "%s", std::string(2000, 'a').c_str());
  });
  EXPECT_EQ(view.info, std::string(1023, 'a'));
}
#endif

}  // namespace
