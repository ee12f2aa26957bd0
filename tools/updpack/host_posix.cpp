// File times and the terminal test on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/filetime.h"
#include "host.h"
#include "tool_support.h"

namespace {

std::string Reason() { return std::strerror(errno); }

}  // namespace

uint64_t FileLastWriteTime(const fs::path& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    throw ToolError("cannot read the time of " + Quote(path) + ": " + Reason());
  }
  uint64_t fileTime = 0;
  if (!FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec, &fileTime)) {
    throw ToolError("the time of " + Quote(path) + " lies before 1601");
  }
  return fileTime;
}

void SetFileTimes(const fs::path& path, uint64_t fileTime) {
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(UnixSecondsOf(fileTime));
  times[0].tv_nsec = static_cast<long>(UnixNanosecondsOf(fileTime));
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
