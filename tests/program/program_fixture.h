// The whole updater over the POSIX platform in a private folder: drive D:
// is a temporary folder, the registry is a file, the package is built by our
// own writer, and a scripted player stands in for the user.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pack/package_writer.h"
#include "scripted_ui.h"
#include "updater/updater.h"

// 2026-01-02 03:04:05 UTC and a day later, as FILETIMEs.
constexpr uint64_t kPackageTime = 134117870450000000ull;
constexpr uint64_t kLaterTime = kPackageTime + 864000000000ull;

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The game as the installer left it: the registry record of a full
  // installation at D:\Games\Example Story (InstMode 1) and its SETUP.INI.
  // UPDATE.INI's [SETUP] names that game, with `moreSetupKeys` (lines
  // ending in CR LF) after its own; [UPDATE] is `updateSection`.
  void UseStandardGame(const std::string& updateSection,
                       const std::string& moreSetupKeys = "");
  // Rewrites the installed SETUP.INI with another GameTitle and GameClass
  // lines (empty: none).
  void WriteSetupIni(const std::string& title, const std::string& classLine);

  // UPDATE.INI is packaged with the files added below.
  void SetUpdateIni(const std::string& text) { updateIni_ = text; }
  void AddPackageFile(const std::string& name, const std::string& bytes,
                      uint64_t time = kPackageTime,
                      EntryStorage storage = EntryStorage::Smaller);
  // A file the package carries as patches from `oldVersions` when that is
  // smaller, and with `keepWhole` as the whole file too.
  void AddPatchedFile(const std::string& name, const std::string& bytes,
                      const std::vector<std::string>& oldVersions, bool keepWhole = false);
  void WriteRegistry(const std::string& text);
  // The package made so far, with or without UPDATE.INI.
  std::vector<uint8_t> BuildPackageImage(bool withUpdateIni) const;
  // Runs the updater over `image` (empty: no package at all), with
  // `record` as its integrity record when given, and returns its exit code.
  int RunUpdaterWith(const std::vector<uint8_t>& image,
                     const std::optional<std::vector<uint8_t>>& record = {});
  int RunUpdater() { return RunUpdaterWith(BuildPackageImage(true)); }

  // Starts the native updater as a process of its own over the same
  // installation and package, with no one to answer it, and returns its
  // exit code.
  int RunAnotherUpdaterProcess();

  // A path of the installation given the Windows way ("Data\A.dat"), in
  // the private folder.
  std::filesystem::path Installed(const std::string& windowsPath) const;
  static void WriteFile(const std::filesystem::path& path,
                        const std::string& bytes, uint64_t time = 0);
  static std::string ReadFile(const std::filesystem::path& path);
  static uint64_t LastWriteTime(const std::filesystem::path& path);
  // Puts a window into the table that other processes search.
  void OpenWindow(const std::string& className, const std::string& title);
  void CloseWindows();
  // Whether anything is left in the temporary folder (TMPDIR).
  bool TemporaryFilesLeft() const;
  // What the temporary folder holds, by name.
  std::vector<std::filesystem::path> TemporaryEntries() const;
  // Scripts `times` presses of Next: 2 reach the run, 3 also press 完了.
  void PressNext(int times) {
    for (int i = 0; i < times; ++i) ui_.Press(kIdNext);
  }

  std::filesystem::path root_;
  ScriptedUi ui_;

 private:
  std::string updateIni_;
  std::vector<PackageInput> files_;
  int windowSerial_ = 0;
};

// Texts of the standard game.
extern const char kCaption[];         // "Example Story アップデータ 1.02"
extern const char kInstPath[];        // "D:\Games\Example Story"
