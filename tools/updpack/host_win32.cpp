// File times, the terminal test and threads on Windows. The cross
// compiler's C++ library has no std::thread, so threads are the system's.
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
