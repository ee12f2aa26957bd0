#include "program_fixture.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/state.h"
#include "core/filetime.h"
#include "package/package.h"
#include "posix_hooks.h"
#include "profile/install_description.h"
#include "profile/profile.h"
#include "test_package.h"
#include "updater/updater.h"

const char kCaption[] = "Example Story アップデータ 1.02";
const char kInstPath[] = "D:\\Games\\Example Story";

namespace {

void SetEnv(const char* name, const std::filesystem::path& value) {
  setenv(name, value.c_str(), 1);
}

// The program's process-wide state, as at program start.
void ResetProcessState() {
  ResetUpdaterState();
  ResetProfileState();
  ResetInstallDescription();
  ResetProgramState();
  ResetPackageState();
}

void ResetEverything() {
  ResetProcessState();
  SetTestPackage({});
  PosixResetHooks();
}

}  // namespace

void ProgramTest::SetUp() {
  char pattern[] = "/tmp/updater-program-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  root_ = pattern;
  for (const char* folder : {"tmp", "windows", "d"}) {
    std::filesystem::create_directories(root_ / folder);
  }
  SetEnv("TMPDIR", root_ / "tmp");
  SetEnv("UPDATER_WINDOWS", root_ / "windows");
  SetEnv("UPDATER_REGISTRY", root_ / "registry.ini");
  setenv("UPDATER_DRIVES", ("D=" + (root_ / "d").string()).c_str(), 1);
  ResetEverything();
}

void ProgramTest::TearDown() {
  ResetEverything();
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

void ProgramTest::UseStandardGame(const std::string& updateSection,
                                  const std::string& moreSetupKeys) {
  SetUpdateIni(
      "[SETUP]\r\n"
      "CompanyName=Example Works\r\n"
      "GameTitle=Example Story\r\n"
      "GameClass=ExampleStoryWnd\r\n"
      "GameDir=Example Story\r\n"
      "UpdaterVersion=1.02\r\n" +
      moreSetupKeys + "[UPDATE]\r\n" + updateSection);
  WriteRegistry(
      "[Software\\Example Works\\Example Story]\n"
      "InstPath=D:\\Games\\Example Story\n"
      "DataPath=D:\\Saves\n"
      "InstMode=1\n");
  std::filesystem::create_directories(Installed(""));
  std::filesystem::create_directories(root_ / "d" / "Saves");
  WriteSetupIni("Example Story", "GameClass=ExampleStoryWnd\r\n");
}

void ProgramTest::WriteSetupIni(const std::string& title,
                                const std::string& classLine) {
  WriteFile(Installed("SETUP.INI"),
            "[SETUP]\r\n"
            "CompanyName=Example Works\r\n"
            "GameTitle=" + title + "\r\n" + classLine +
            "GameDir=Example Story\r\n"
            "GameExe=Story.exe\r\n"
            "UninstExe=Uninst.exe\r\n"
            "SetupBmp=Setup.bmp\r\n"
            "InstallSelects=1\r\n"
            "InstallTitle0=Full\r\n"
            "InstallFiles0=Story.exe\r\n"
            "Shortcuts=0\r\n");
}

void ProgramTest::AddPackageFile(const std::string& name,
                                 const std::string& bytes, uint64_t time,
                                 EntryStorage storage) {
  files_.push_back(
      {name, std::vector<uint8_t>(bytes.begin(), bytes.end()), time, storage});
}

void ProgramTest::AddPatchedFile(const std::string& name, const std::string& bytes,
                                 const std::vector<std::string>& oldVersions,
                                 bool keepWhole) {
  AddPackageFile(name, bytes);
  for (const std::string& old : oldVersions) {
    files_.back().oldVersions.emplace_back(old.begin(), old.end());
  }
  files_.back().keepWhole = keepWhole;
}

void ProgramTest::WriteRegistry(const std::string& text) {
  WriteFile(root_ / "registry.ini", text);
}

std::vector<uint8_t> ProgramTest::BuildPackageImage(bool withUpdateIni) const {
  std::vector<PackageInput> inputs = files_;
  if (withUpdateIni) {
    inputs.insert(inputs.begin(),
                  {"UPDATE.INI",
                   std::vector<uint8_t>(updateIni_.begin(), updateIni_.end()),
                   kPackageTime, EntryStorage::Smaller});
  }
  std::vector<uint8_t> image;
  const PackageWriteStatus status =
      BuildPackage(inputs, PackageOptions{}, &image);
  EXPECT_EQ(status.result, PackageWriteResult::Ok);
  return image;
}

int ProgramTest::RunUpdaterWith(
    const std::vector<uint8_t>& image,
    const std::optional<std::vector<uint8_t>>& record) {
  SetTestPackage(image, record);
  // Each run is a fresh process as far as the program can tell.
  ResetProcessState();
  const PosixUiDriver driver = ui_.Driver();
  PosixSetUiDriver(&driver);
  const int exitCode = UpdaterMain();
  PosixSetUiDriver(nullptr);
  EXPECT_EQ(ui_.unusedPresses(), 0u) << "the dialog ended before the script";
  EXPECT_EQ(ui_.unusedAnswers(), 0u) << "fewer boxes asked than scripted";
  return exitCode;
}

int ProgramTest::RunAnotherUpdaterProcess() {
  const std::vector<uint8_t> image = BuildPackageImage(true);
  const std::filesystem::path package = root_ / "update.qw3";
  WriteFile(package, std::string(image.begin(), image.end()));
  const std::string command = "UPDATER_PACKAGE='" + package.string() + "' '" +
                              UPDATER_EXECUTABLE +
                              "' </dev/null >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::filesystem::path ProgramTest::Installed(
    const std::string& windowsPath) const {
  std::string relative = windowsPath;
  for (size_t i = 0; i < relative.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(relative[i]))) {
      ++i;  // its second byte may be 0x5C
    } else if (relative[i] == '\\') {
      relative[i] = '/';
    }
  }
  return root_ / "d" / "Games" / "Example Story" / relative;
}

void ProgramTest::WriteFile(const std::filesystem::path& path,
                            const std::string& bytes, uint64_t time) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << path;
  }
  if (time != 0) {
    const uint64_t sinceEpoch = time - kUnixEpochAsFileTime;
    timespec times[2];
    times[0].tv_sec = static_cast<time_t>(sinceEpoch / 10000000);
    times[0].tv_nsec = static_cast<long>(sinceEpoch % 10000000) * 100;
    times[1] = times[0];
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
  }
}

std::string ProgramTest::ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

uint64_t ProgramTest::LastWriteTime(const std::filesystem::path& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return 0;
  return kUnixEpochAsFileTime +
         static_cast<uint64_t>(info.st_mtim.tv_sec) * 10000000 +
         static_cast<uint64_t>(info.st_mtim.tv_nsec) / 100;
}

void ProgramTest::OpenWindow(const std::string& className,
                             const std::string& title) {
  WriteFile(root_ / "windows" / ("test-" + std::to_string(++windowSerial_)),
            className + "\n" + title + "\n");
}

void ProgramTest::CloseWindows() {
  for (const auto& entry :
       std::filesystem::directory_iterator(root_ / "windows")) {
    if (entry.path().filename().string().rfind("test-", 0) == 0) {
      std::filesystem::remove(entry.path());
    }
  }
}

bool ProgramTest::TemporaryFilesLeft() const {
  return !TemporaryEntries().empty();
}

std::vector<std::filesystem::path> ProgramTest::TemporaryEntries() const {
  std::vector<std::filesystem::path> entries;
  for (const auto& entry : std::filesystem::directory_iterator(root_ / "tmp")) {
    entries.push_back(entry.path());
  }
  return entries;
}
