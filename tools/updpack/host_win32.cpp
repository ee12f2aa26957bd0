// File times, the terminal test, child programs and threads on Windows.
// The cross compiler's C++ library has no std::thread, so threads are the
// system's.
#include <windows.h>
#include <io.h>

#include <cstdio>
#include <vector>

#include "host.h"
#include "tool_support.h"

namespace {

// Opened only to read or set the times; closed on every path.
class TimeHandle {
 public:
  TimeHandle(const fs::path& path, DWORD access)
      : handle_(CreateFileW(path.c_str(), access,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                            nullptr)) {}
  ~TimeHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  TimeHandle(const TimeHandle&) = delete;
  TimeHandle& operator=(const TimeHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

std::string Reason() {
  return "Windows error " + std::to_string(GetLastError());
}

class Handle {
 public:
  Handle() = default;
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE* out() { return &handle_; }
  HANDLE get() const { return handle_; }
  void Close() {
    if (handle_) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

std::wstring Wide(const std::string& utf8) {
  const fs::path path = PathFromUtf8(utf8);
  return path.native();
}

// One argument as the C runtime's parser splits the command line: quoted
// when it holds blanks or quotes, backslashes doubled before a quote.
std::wstring QuotedArgument(const std::wstring& argument) {
  if (!argument.empty() &&
      argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, L'\\');
  return quoted + L"\"";
}

DWORD WINAPI CallWork(void* work) {
  (*static_cast<const std::function<void()>*>(work))();
  return 0;
}

}  // namespace

uint64_t FileLastWriteTime(const fs::path& path) {
  TimeHandle file(path, FILE_READ_ATTRIBUTES);
  FILETIME time;
  if (file.get() == INVALID_HANDLE_VALUE ||
      !GetFileTime(file.get(), nullptr, nullptr, &time)) {
    throw ToolError("cannot read the time of " + Quote(path) + ": " + Reason());
  }
  return uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime;
}

void SetFileTimes(const fs::path& path, uint64_t fileTime) {
  TimeHandle file(path, FILE_WRITE_ATTRIBUTES);
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(fileTime);
  time.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
  if (file.get() == INVALID_HANDLE_VALUE ||
      !SetFileTime(file.get(), &time, &time, &time)) {
    throw ToolError("cannot set the time of " + Quote(path) + ": " + Reason());
  }
}

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

fs::path ToolFolder() {
  wchar_t self[32768];
  const DWORD length = GetModuleFileNameW(nullptr, self, 32768);
  if (length == 0 || length >= 32768) return fs::path();
  return fs::path(std::wstring(self, length)).parent_path();
}

// The newer osslsigncode reads its stdin for the name "-".
const char* const kStdinFileName = "-";

int RunProgram(const std::string& program,
               const std::vector<std::string>& arguments,
               const std::string& input, std::string* output) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  Handle inRead, inWrite, outRead, outWrite;
  if (!CreatePipe(inRead.out(), inWrite.out(), &inherit, 0) ||
      !CreatePipe(outRead.out(), outWrite.out(), &inherit, 0) ||
      !SetHandleInformation(inWrite.get(), HANDLE_FLAG_INHERIT, 0) ||
      !SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0)) {
    throw ToolError("cannot make a pipe: " + Reason());
  }
  std::wstring commandLine = QuotedArgument(Wide(program));
  for (const std::string& argument : arguments) {
    commandLine += L" " + QuotedArgument(Wide(argument));
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inRead.get();
  startup.hStdOutput = outWrite.get();
  startup.hStdError = outWrite.get();
  PROCESS_INFORMATION process;
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return -1;
    throw ToolError("cannot start " + program + ": " + Reason());
  }
  CloseHandle(process.hThread);
  inRead.Close();
  outWrite.Close();
  // The input is small (a password): it fits the pipe before the child reads.
  DWORD written;
  WriteFile(inWrite.get(), input.data(), static_cast<DWORD>(input.size()),
            &written, nullptr);
  inWrite.Close();
  output->clear();
  char buffer[4096];
  DWORD got;
  while (ReadFile(outRead.get(), buffer, sizeof buffer, &got, nullptr) && got) {
    output->append(buffer, got);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}

unsigned ProcessorCount() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors ? info.dwNumberOfProcessors : 1;
}

void RunOnThreads(unsigned threads, const std::function<void()>& work,
                  const std::function<void()>& tick) {
  // One wait covers all threads, and a wait takes at most this many handles.
  threads = threads < MAXIMUM_WAIT_OBJECTS ? threads : MAXIMUM_WAIT_OBJECTS;
  std::vector<HANDLE> pool;
  for (unsigned i = 0; i < threads; ++i) {
    HANDLE thread = CreateThread(nullptr, 0, CallWork,
                                 const_cast<std::function<void()>*>(&work), 0,
                                 nullptr);
    if (thread) pool.push_back(thread);
  }
  // Without any thread of its own the work still gets done, on this one.
  if (pool.empty()) work();
  while (!pool.empty() &&
         WaitForMultipleObjects(static_cast<DWORD>(pool.size()), pool.data(),
                                TRUE, 100) == WAIT_TIMEOUT) {
    tick();
  }
  for (HANDLE thread : pool) {
    WaitForSingleObject(thread, INFINITE);  // returns at once unless a wait failed
    CloseHandle(thread);
  }
}
