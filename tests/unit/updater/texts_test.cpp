// The texts the updater itself puts together: the dialog's info line and
// the escapes of UpdateMessage.
#include <gtest/gtest.h>

#include <string>

#include "updater/updater.h"
#ifndef _WIN32
#include "posix_hooks.h"
#endif

namespace {

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

#ifndef _WIN32
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
  PlatRunDialog([](PlatWindow dialog, PlatDialogMessage message, PlatCommand) {
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
