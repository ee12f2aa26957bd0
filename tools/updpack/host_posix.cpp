// File times, the terminal test and threads on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "host.h"
#include "tool_support.h"

namespace {

// FILETIME counts 100 ns ticks from 1601; Unix time seconds from 1970.
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

std::string Reason() { return std::strerror(errno); }

}  // namespace

uint64_t FileLastWriteTime(const fs::path& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    throw ToolError("cannot read the time of " + Quote(path) + ": " + Reason());
  }
  const int64_t seconds = st.st_mtim.tv_sec + kSecondsFrom1601To1970;
  if (seconds < 0) {
    throw ToolError("the time of " + Quote(path) + " lies before 1601");
  }
  return static_cast<uint64_t>(seconds) * kTicksPerSecond +
         static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100;
}

void SetFileTimes(const fs::path& path, uint64_t fileTime) {
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(
      static_cast<int64_t>(fileTime / kTicksPerSecond) - kSecondsFrom1601To1970);
  times[0].tv_nsec = static_cast<long>(fileTime % kTicksPerSecond) * 100;
  times[1] = times[0];
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
    throw ToolError("cannot set the time of " + Quote(path) + ": " + Reason());
  }
}

bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

fs::path ToolFolder() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self.parent_path();
}

unsigned ProcessorCount() {
  const unsigned count = std::thread::hardware_concurrency();
  return count ? count : 1;
}

void RunOnThreads(unsigned threads, const std::function<void()>& work,
                  const std::function<void()>& tick) {
  std::atomic<unsigned> running{0};
  std::vector<std::thread> pool;
  for (unsigned i = 0; i < threads; ++i) {
    running.fetch_add(1);
    try {
      pool.emplace_back([&] {
        work();
        running.fetch_sub(1);
      });
    } catch (const std::system_error&) {  // fewer threads do the same work
      running.fetch_sub(1);
      break;
    }
  }
  if (pool.empty()) work();
  while (running.load() != 0) {
    tick();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  for (std::thread& thread : pool) thread.join();
}
