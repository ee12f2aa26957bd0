// File times, the terminal test, child programs and threads on POSIX systems.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "core/filetime.h"
#include "host.h"
#include "tool_support.h"

namespace {

std::string Reason() { return std::strerror(errno); }

// Both ends of a pipe, closed on every path; neither is inherited as such.
struct Pipe {
  int fd[2] = {-1, -1};
  Pipe() {
    if (pipe2(fd, O_CLOEXEC) != 0) {
      throw ToolError("cannot make a pipe: " + Reason());
    }
  }
  ~Pipe() {
    CloseEnd(0);
    CloseEnd(1);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  void CloseEnd(int end) {
    if (fd[end] >= 0) close(fd[end]);
    fd[end] = -1;
  }
};

// A child that stops reading early must not end updpack with SIGPIPE.
class IgnoreSigpipe {
 public:
  IgnoreSigpipe() { old_ = std::signal(SIGPIPE, SIG_IGN); }
  ~IgnoreSigpipe() { std::signal(SIGPIPE, old_); }
  IgnoreSigpipe(const IgnoreSigpipe&) = delete;
  IgnoreSigpipe& operator=(const IgnoreSigpipe&) = delete;

 private:
  void (*old_)(int);
};

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

const char* const kStdinFileName = "/dev/stdin";

int RunProgram(const std::string& program,
               const std::vector<std::string>& arguments,
               const std::string& input, std::string* output) {
  Pipe in, out;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.fd[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out.fd[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out.fd[1], STDERR_FILENO);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  pid_t child;
  const int spawned = posix_spawnp(&child, program.c_str(), &actions, nullptr,
                                   argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned == ENOENT) return -1;
  if (spawned != 0) {
    throw ToolError("cannot start " + program + ": " + std::strerror(spawned));
  }
  in.CloseEnd(0);
  out.CloseEnd(1);
  {
    // The input is small (a password), so it fits the pipe before the child
    // has to read it; a child that does not read it just leaves it there.
    IgnoreSigpipe guard;
    size_t done = 0;
    while (done < input.size()) {
      const ssize_t n = write(in.fd[1], input.data() + done, input.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    in.CloseEnd(1);
  }
  output->clear();
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(out.fd[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    output->append(buffer, static_cast<size_t>(n));
  }
  int status;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) throw ToolError("cannot wait for " + program + ": " + Reason());
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
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
