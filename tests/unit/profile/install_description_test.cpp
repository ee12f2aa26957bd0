// Loading the installer's SETUP.INI: limits, defaults and messages.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "base/state.h"
#include "profile/install_description.h"
#include "profile/profile.h"
#include "message_box_capture.h"

namespace {

namespace fs = std::filesystem;

// A SETUP.INI as the installer writes it, one key per line, in order.
class SetupIniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetUpdaterState();
    ResetProfileState();
    ResetInstallDescription();
    folder_ = fs::temp_directory_path() /
              ("setup_ini_" + std::to_string(::testing::UnitTest::GetInstance()
                                                 ->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()
                         ->current_test_info()
                         ->name());
    fs::create_directories(folder_);
    std::snprintf(SetupIniPath, sizeof SetupIniPath, "%s",
                  (folder_ / "SETUP.INI").string().c_str());
    keys_ = {{"CompanyName", "Maker"},
             {"GameTitle", "Title"},
             {"GameDir", "TitleDir"},
             {"GameExe", "TITLE.EXE"},
             {"UninstExe", "UNINST.EXE"},
             {"SetupBmp", "S1.BMP,S2.BMP"},
             {"InstallSelects", "2"},
             {"InstallTitle0", "Full"},
             {"InstallFiles0", "A.DAT,1:B.DAT"},
             {"InstallTitle1", "Small"},
             {"InstallFiles1", "C.DAT"},
             {"Shortcuts", "1"},
             {"Shortcut0", "TITLE.EXE,Title"}};
  }
  void TearDown() override {
#ifndef _WIN32
    // A load that was not expected to speak showed nothing.
    EXPECT_TRUE(capture_.Take().empty());
#endif
    fs::remove_all(folder_);
  }

  void Set(const std::string& key, const std::string& value) {
    for (auto& [k, v] : keys_) {
      if (k == key) {
        v = value;
        return;
      }
    }
    keys_.emplace_back(key, value);
  }
  void Remove(const std::string& key) {
    std::erase_if(keys_, [&](const auto& kv) { return kv.first == key; });
  }
  // Writes the file and loads it.
  int Load() {
    std::string text = "[SETUP]\r\n";
    for (const auto& [k, v] : keys_) text += k + "=" + v + "\r\n";
    std::FILE* file = std::fopen(SetupIniPath, "wb");
    EXPECT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    return LoadInstallDescription();
  }
#ifndef _WIN32
  // The one error box the load showed, or "" when it showed none.
  std::string OnlyMessage() {
    const auto boxes = capture_.Take();
    if (boxes.empty()) return "";
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "INSTCMMN");
    EXPECT_EQ(boxes[0].buttons, kPlatButtonsOk);
    EXPECT_EQ(boxes[0].icon, kPlatIconError);
    EXPECT_EQ(boxes[0].owner, nullptr);
    return boxes[0].text;
  }
  MessageBoxCapture capture_;
#endif

  static std::string List(const char* stem, int count) {
    std::string list;
    for (int i = 0; i < count; ++i) {
      list += (i ? "," : "") + std::string(stem) + std::to_string(i);
    }
    return list;
  }

  const InstallDescriptionRecord& d = InstallDescription;
  fs::path folder_;
  std::vector<std::pair<std::string, std::string>> keys_;
};

TEST_F(SetupIniTest, LoadsTheIdentityOverUpdateIniAndTakesDefaults) {
  std::strcpy(UpdaterSettings.CompanyName, "Other");
  std::strcpy(UpdaterSettings.GameClass, "FromUpdateIni");
  ASSERT_EQ(Load(), 1);
  EXPECT_STREQ(UpdaterSettings.CompanyName, "Maker");
  EXPECT_STREQ(UpdaterSettings.GameTitle, "Title");
  EXPECT_STREQ(UpdaterSettings.GameDir, "TitleDir");
  EXPECT_STREQ(UpdaterSettings.GameClass, "Title");
  EXPECT_STREQ(d.SaveDataFolderName, "TitleDir");
  EXPECT_STREQ(d.GameExe, "TITLE.EXE");
  EXPECT_STREQ(d.UninstExe, "UNINST.EXE");
  EXPECT_STREQ(d.SetupBmp[1], "S2.BMP");
  EXPECT_STREQ(d.SetupBmp[2], "");
  EXPECT_STREQ(d.InstallTitle[1], "Small");
  EXPECT_STREQ(d.InstallFiles[0][1], "B.DAT");
  EXPECT_STREQ(d.InstallFiles[0][2], "");
  EXPECT_STREQ(d.InstallDXMessage, "ＤｉｒｅｃｔＸをインストールする");
  EXPECT_STREQ(d.SelectSetupMessage, "インストール方法を選択して下さい");
  EXPECT_EQ(d.InstallDirectX, 0u);
  EXPECT_EQ(d.DefaultSelect, 0);
  EXPECT_EQ(d.InstallSize[0], 0u);
  EXPECT_STREQ(d.ExecApp[0], "");
  EXPECT_STREQ(d.Shortcut[0][1], "Title");
  EXPECT_STREQ(d.Shortcut[0][2], "");
}

TEST_F(SetupIniTest, TakesGivenOptionalValues) {
  Set("GameClass", "TitleWindow");
  Set("SaveDataFolderName", "Saves");
  Set("DefaultSelect", "1");
  Set("InstallSize0", "123456789012");
  Set("InstallSize1", "\"  +77x\"");
  Set("DiskCheckFile1", "DISK1.ID");
  Set("DiskCheckFile3", "DATA\\DISK3.ID");
  Set("ExecApp", "SETUP.EXE,/Q,ignored");
  Set("UseCompanyNameForShortcutGroup", "2");
  Set("ChooseSaveDataFolder", "0");
  Set("SelectSetupMessage", "選んで");
  ASSERT_EQ(Load(), 1);
  EXPECT_STREQ(UpdaterSettings.GameClass, "TitleWindow");
  EXPECT_STREQ(d.SaveDataFolderName, "Saves");
  EXPECT_EQ(d.DefaultSelect, 1);
  EXPECT_EQ(d.InstallSize[0], 123456789012u);
  EXPECT_EQ(d.InstallSize[1], 77u);
  EXPECT_STREQ(d.DiskCheckFile[0], "");
  EXPECT_STREQ(d.DiskCheckFile[1], "DISK1.ID");
  EXPECT_STREQ(d.DiskCheckFile[2], "");
  EXPECT_STREQ(d.DiskCheckFile[3], "DATA\\DISK3.ID");
  EXPECT_STREQ(d.ExecApp[0], "SETUP.EXE");
  EXPECT_STREQ(d.ExecApp[1], "/Q");
  EXPECT_EQ(d.UseCompanyNameForShortcutGroup, 1);
  EXPECT_EQ(d.ChooseSaveDataFolder, 0);
  EXPECT_STREQ(d.SelectSetupMessage, "選んで");
}

TEST_F(SetupIniTest, MissingRequiredKeyRefusesSilently) {
  for (const char* key : {"CompanyName", "GameTitle", "GameDir", "GameExe",
                          "UninstExe", "SetupBmp", "InstallSelects",
                          "InstallTitle1", "InstallFiles1", "Shortcuts",
                          "Shortcut0"}) {
    SCOPED_TRACE(key);
    const auto saved = keys_;
    Set(key, "");
    EXPECT_EQ(Load(), 0);
    Remove(key);
    EXPECT_EQ(Load(), 0);
    keys_ = saved;
  }
}

TEST_F(SetupIniTest, TakesUpToThreeChoicesAndTenShortcuts) {
  for (int s = 0; s < 4; ++s) {
    Set("InstallTitle" + std::to_string(s), "T" + std::to_string(s));
    Set("InstallFiles" + std::to_string(s), "F" + std::to_string(s));
    Set("InstallSize" + std::to_string(s), std::to_string(s + 10));
  }
  for (int s = 0; s < 11; ++s) {
    Set("Shortcut" + std::to_string(s), "E" + std::to_string(s) + ",N");
  }
  Set("InstallSelects", "3");
  Set("Shortcuts", "10");
  ASSERT_EQ(Load(), 1);
  EXPECT_EQ(d.InstallSelects, 3);
  EXPECT_STREQ(d.InstallFiles[2][0], "F2");
  EXPECT_EQ(d.InstallSize[2], 12u);
  EXPECT_STREQ(d.Shortcut[9][0], "E9");
}

TEST_F(SetupIniTest, NoChoicesOrShortcutsReadsNoneOfTheirKeys) {
  for (const char* count : {"0", "-2", "none"}) {
    SCOPED_TRACE(count);
    ResetInstallDescription();
    Set("InstallSelects", count);
    Set("Shortcuts", count);
    // Keys that would fail the load, were they read.
    Set("InstallFiles0", ",");
    Set("InstallSize0", "5");
    Set("Shortcut0", ",");
    ASSERT_EQ(Load(), 1);
    EXPECT_EQ(d.InstallSize[0], 0u);
    EXPECT_STREQ(d.InstallTitle[0], "");
  }
}

TEST_F(SetupIniTest, ListsKeepTheirFirstTwentyAndFortyFields) {
  Set("SetupBmp", List("B", 20));
  Set("InstallFiles0", List("F", 40));
  Set("InstallFiles1", List("G", 39));
  ASSERT_EQ(Load(), 1);
  EXPECT_STREQ(d.SetupBmp[19], "B19");
  EXPECT_STREQ(d.InstallFiles[0][39], "F39");
  EXPECT_STREQ(d.InstallFiles[1][38], "G38");
  EXPECT_STREQ(d.InstallFiles[1][39], "");

  ResetInstallDescription();
  Set("SetupBmp", List("B", 21));
  Set("InstallFiles0", List("F", 41));
  ASSERT_EQ(Load(), 1);
  EXPECT_STREQ(d.SetupBmp[19], "B19");
  EXPECT_STREQ(d.InstallFiles[0][39], "F39");
  EXPECT_STREQ(d.InstallTitle[1], "Small");
}

TEST_F(SetupIniTest, DiskNumbersPerFileAndPerChoice) {
  Set("InstallFiles0", "A.DAT,2:B.DAT,C.DAT");
  Set("InstallFiles1", "A.DAT,0:B.DAT");
  ASSERT_EQ(Load(), 1);
  EXPECT_EQ(d.InstallFileDisk[0][0], 0);
  EXPECT_EQ(d.InstallFileDisk[0][1], 2);
  EXPECT_EQ(d.InstallFileDisk[0][2], 2);
  EXPECT_EQ(d.InstallUsesOtherDisks[0], 1);
  EXPECT_EQ(d.InstallFileDisk[1][0], 0);
  EXPECT_EQ(d.InstallFileDisk[1][1], 0);
  EXPECT_EQ(d.InstallUsesOtherDisks[1], 0);

  // Each choice starts again at disk 0.
  Set("InstallFiles0", "3:A.DAT");
  Set("InstallFiles1", "B.DAT");
  ASSERT_EQ(Load(), 1);
  EXPECT_EQ(d.InstallFileDisk[1][0], 0);
  EXPECT_EQ(d.InstallUsesOtherDisks[1], 0);
}

TEST_F(SetupIniTest, EmptyOrOverlongFieldEndsAList) {
  Set("InstallFiles0", "A.DAT,,B.DAT");
  Set("InstallFiles1", "C.DAT," + std::string(300, 'n') + ",D.DAT");
  ASSERT_EQ(Load(), 1);
  EXPECT_STREQ(d.InstallFiles[0][0], "A.DAT");
  EXPECT_STREQ(d.InstallFiles[0][1], "");
  EXPECT_STREQ(d.InstallFiles[1][0], "C.DAT");
  EXPECT_STREQ(d.InstallFiles[1][1], "");
}

TEST_F(SetupIniTest, InstallDirectXMapsItsTwoBits) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"0", 0x10000}, {"1", 0x10008}, {"2", 0x10010},
      {"3", 0x10018}, {"7", 0x10018}, {"abc", 0x10000}};
  for (const auto& [value, flags] : cases) {
    SCOPED_TRACE(value);
    Set("InstallDirectX", value);
    ASSERT_EQ(Load(), 1);
    EXPECT_EQ(d.InstallDirectX, flags);
  }
}

// The refusals that speak; their boxes can only be answered by a script on
// the posix platform.
#ifndef _WIN32
TEST_F(SetupIniTest, TooManyChoicesOrShortcutsAreRefused) {
  Set("InstallSelects", "4");
  EXPECT_EQ(Load(), 0);
  EXPECT_EQ(OnlyMessage(), "SETUP.INI : InstallSelect オーバー");

  Set("InstallSelects", "2");
  Set("Shortcuts", "11");
  EXPECT_EQ(Load(), 0);
  EXPECT_EQ(OnlyMessage(), "SETUP.INI : Shortcuts オーバー");
}

TEST_F(SetupIniTest, ListWithoutItsFirstFieldIsRefused) {
  const std::string longName(300, 'n');
  const std::pair<const char*, const char*> cases[] = {
      {"SetupBmp", ",S.BMP"},
      {"InstallFiles1", " ,B.DAT"},
      {"InstallFiles0", longName.c_str()},
      {"Shortcut0", "A.EXE"},
      {"Shortcut0", ",Name"},
      {"ExecApp", "SETUP.EXE"}};
  const char* expected[] = {
      "SETUP.INI : SetupBmps エラー",  "SETUP.INI : InstallFiles1 エラー",
      "SETUP.INI : InstallFiles0 エラー", "SETUP.INI : Shortcut0 エラー",
      "SETUP.INI : Shortcut0 エラー",  "SETUP.INI : ExecApp エラー"};
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(expected[i]);
    const auto saved = keys_;
    Set(cases[i].first, cases[i].second);
    EXPECT_EQ(Load(), 0);
    EXPECT_EQ(OnlyMessage(), expected[i]);
    keys_ = saved;
  }
}
#endif

}  // namespace
