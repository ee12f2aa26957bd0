// A fresh temporary folder per test, with the platform's environment and
// hooks cleared before and after.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "posix_hooks.h"

class PosixFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/posix-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    for (const char* name : {"UPDATER_DRIVES", "UPDATER_REGISTRY", "UPDATER_PACKAGE", "UPDATER_INTEGRITY"})
      unsetenv(name);
    setenv("UPDATER_WINDOWS", (dir_ + "/windows").c_str(), 1);
    PosixResetHooks();
  }
  void TearDown() override {
    PosixResetHooks();
    unsetenv("UPDATER_WINDOWS");
    unsetenv("UPDATER_DRIVES");
    std::filesystem::permissions(dir_, std::filesystem::perms::all);
    std::filesystem::remove_all(dir_);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  void Put(const std::string& name, const std::string& bytes, mode_t mode = 0644) const {
    std::filesystem::create_directories(std::filesystem::path(Path(name)).parent_path());
    std::ofstream(Path(name), std::ios::binary) << bytes;
    chmod(Path(name).c_str(), mode);
  }

  std::string Get(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // Names in a folder, hidden ones included (left-over temporary files).
  int CountEntries(const std::string& name) const {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Path(name))) {
      (void)entry;
      ++count;
    }
    return count;
  }

  std::string dir_;
};
