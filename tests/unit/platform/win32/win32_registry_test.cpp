// The installer's registry record read by the Windows platform layer (run
// under Wine with the Japanese ANSI code page).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace {

// The installer's record, with the value types installers actually used.
class Win32Registry : public ::testing::Test {
 protected:
  static constexpr const char* kKey = "Software\\UpdWin32Test\\Example Story";
  void SetUp() override {
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key_);
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\UpdWin32Test");
  }
  void Set(const char* name, DWORD type, const void* data, size_t size) {
    ASSERT_EQ(RegSetValueExA(key_, name, 0, type,
                             static_cast<const BYTE*>(data), DWORD(size)),
              ERROR_SUCCESS);
  }
  void SetText(const char* name, const std::string& text) {
    Set(name, REG_SZ, text.c_str(), text.size() + 1);
  }
  PlatInstallValues Read() {
    PlatInstallValues values;
    std::memset(&values, 0x5A, sizeof values);
    PlatReadInstallValues(kKey, &values);
    return values;
  }

  HKEY key_ = nullptr;
};

TEST_F(Win32Registry, CompleteRecordWithAnyValueTypes) {
  SetText("InstPath", "C:\\Games\\ソフト");
  SetText("DataPath", "C:\\Data");
  const DWORD mode = 2;
  Set("InstMode", REG_DWORD, &mode, 4);
  const uint8_t add[4] = {7, 0, 0, 0};
  Set("InstAdd", REG_BINARY, add, 4);
  const PlatInstallValues values = Read();
  EXPECT_TRUE(values.keyOpened);
  ASSERT_TRUE(values.hasInstPath && values.hasDataPath &&
              values.hasInstMode && values.hasInstAdd);
  EXPECT_STREQ(values.instPath, "C:\\Games\\ソフト");
  EXPECT_STREQ(values.dataPath, "C:\\Data");
  EXPECT_EQ(values.instMode, 2);
  EXPECT_EQ(values.instAdd, 7);
}

TEST_F(Win32Registry, MissingOptionalValuesAndOrderOfQueries) {
  EXPECT_FALSE(Read().hasInstPath);

  // Without InstMode, InstAdd is not even asked for.
  SetText("InstPath", std::string(259, 'p'));
  const DWORD add = 3;
  Set("InstAdd", REG_DWORD, &add, 4);
  PlatInstallValues values = Read();
  EXPECT_TRUE(values.hasInstPath);
  EXPECT_EQ(std::string(values.instPath), std::string(259, 'p'));
  EXPECT_FALSE(values.hasDataPath);
  EXPECT_STREQ(values.dataPath, "");
  EXPECT_FALSE(values.hasInstMode);
  EXPECT_FALSE(values.hasInstAdd);
  EXPECT_EQ(values.instAdd, 0);

  // An eight-byte InstMode does not fit its four bytes.
  const uint64_t wide = 1;
  Set("InstMode", REG_QWORD, &wide, 8);
  values = Read();
  EXPECT_FALSE(values.hasInstMode);
  EXPECT_FALSE(values.hasInstAdd);
}

TEST_F(Win32Registry, TooLongInstPathEndsTheQueries) {
  SetText("InstPath", std::string(260, 'p'));
  const DWORD mode = 1;
  Set("InstMode", REG_DWORD, &mode, 4);
  PlatInstallValues values = Read();
  EXPECT_TRUE(values.keyOpened);
  EXPECT_FALSE(values.hasInstPath);
  EXPECT_STREQ(values.instPath, "");
  EXPECT_FALSE(values.hasInstMode);

  // 260 bytes of text with no room for its end is too long as well.
  const std::string raw(260, 'q');
  Set("InstPath", REG_BINARY, raw.data(), raw.size());
  values = Read();
  EXPECT_FALSE(values.hasInstPath);
  EXPECT_STREQ(values.instPath, "");

  PlatInstallValues none;
  PlatReadInstallValues("Software\\UpdWin32Test\\No Such Game", &none);
  EXPECT_FALSE(none.keyOpened);
  EXPECT_FALSE(none.hasInstPath);
}

}  // namespace
