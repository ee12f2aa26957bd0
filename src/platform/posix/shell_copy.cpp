// The shell's copy: a file, or a folder with everything in it, into a
// destination, replacing files and creating folders without asking. Each
// file is replaced in one step; progress goes to stderr; Ctrl-C (or the
// user interface's own stop) ends the copy, which is told apart from a failure.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/atomic_file.h"
#include "platform/posix/display.h"
#include "platform/posix/paths.h"
#include "platform/posix/ui.h"

namespace {

constexpr int kMaxDepth = 64;  // against folder loops through links

volatile sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) { gInterrupted = 1; }

struct Copy {
  bool showErrors;
  int filesCopied;
  bool aborted;
  int error;  // errno of the failure, 0 while all is well
};

// Ctrl-C, or the user interface's own stop (the shell's Cancel button).
bool StopRequested(Copy* copy) {
  const PosixUi& ui = PosixCurrentUi();
  if (gInterrupted || (ui.stopCopy && ui.stopCopy(ui.ctx, copy->filesCopied))) {
    copy->aborted = true;
  }
  return copy->aborted;
}

// Records the first failure; the shell shows it unless told not to.
bool Fail(Copy* copy, const char* path) {
  if (!copy->error) copy->error = errno ? errno : EIO;
  if (copy->showErrors) {
    std::fputs("copy failed: ", stderr);
    PrintSjis(stderr, path);
    std::fprintf(stderr, ": %s\n", std::strerror(copy->error));
  }
  return false;
}

// Creates `path` and every missing folder above it.
bool MakeFolders(char* path) {
  struct stat info;
  if (stat(path, &info) == 0) {
    if (S_ISDIR(info.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  char* slash = std::strrchr(path, '/');
  if (slash && slash != path) {
    *slash = '\0';
    const bool parent = MakeFolders(path);
    *slash = '/';
    if (!parent) return false;
  }
  return mkdir(path, 0777) == 0 || errno == EEXIST;
}

bool CopyFile(Copy* copy, const char* from, const char* to, const struct stat& source) {
  if (StopRequested(copy)) return false;
  std::fputs("  ", stderr);
  PrintSjis(stderr, to);
  std::fputc('\n', stderr);
  const int in = open(from, O_RDONLY);
  if (in < 0) return Fail(copy, from);
  AtomicFile file;
  if (!AtomicBegin(&file, to)) {
    close(in);
    return Fail(copy, to);
  }
  static char chunk[1 << 16];
  bool ok = true;
  const char* failed = to;
  for (;;) {
    const ssize_t n = read(in, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR && !gInterrupted) continue;
    // A stop wins over whatever the read gave, also over a read it broke off.
    if (StopRequested(copy) || n <= 0) {
      ok = n == 0 && !copy->aborted;
      if (n < 0) failed = from;
      break;
    }
    if (!AtomicWrite(&file, chunk, static_cast<size_t>(n))) {
      ok = false;
      break;
    }
  }
  close(in);
  if (!ok) {
    const int error = errno;
    AtomicAbandon(&file);
    errno = error;
    return copy->aborted ? false : Fail(copy, failed);
  }
  // The copy keeps the source's last-write time and its permissions, so a
  // file from a disc stays read-only, as the shell keeps its attributes
  // (set-user-id and the like stay behind: the updater runs as root).
  const timespec times[2] = {{0, UTIME_NOW}, source.st_mtim};
  if (!AtomicCommit(&file, source.st_mode & 0777, times)) return Fail(copy, to);
  ++copy->filesCopied;
  return true;
}

bool CopyTree(Copy* copy, char* from, char* to, int depth);

bool CopyFolder(Copy* copy, char* from, char* to, int depth) {
  if (depth > kMaxDepth) {
    errno = ELOOP;
    return Fail(copy, from);
  }
  if (!MakeFolders(to)) return Fail(copy, to);
  DIR* dir = opendir(from);
  if (!dir) return Fail(copy, from);
  const size_t fromLength = std::strlen(from);
  const size_t toLength = std::strlen(to);
  bool ok = true;
  while (ok) {
    errno = 0;
    const dirent* item = readdir(dir);
    if (!item) {
      if (errno) ok = Fail(copy, from);
      break;
    }
    if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0) continue;
    const size_t nameLength = std::strlen(item->d_name);
    if (fromLength + nameLength + 2 > kPosixPathSize || toLength + nameLength + 2 > kPosixPathSize) {
      errno = ENAMETOOLONG;
      ok = Fail(copy, from);
      break;
    }
    std::snprintf(from + fromLength, kPosixPathSize - fromLength, "/%s", item->d_name);
    std::snprintf(to + toLength, kPosixPathSize - toLength, "/%s", item->d_name);
    ok = CopyTree(copy, from, to, depth + 1);
    from[fromLength] = '\0';
    to[toLength] = '\0';
  }
  closedir(dir);
  return ok;
}

bool CopyTree(Copy* copy, char* from, char* to, int depth) {
  struct stat source;
  if (stat(from, &source) != 0) return Fail(copy, from);
  if (S_ISDIR(source.st_mode)) return CopyFolder(copy, from, to, depth);
  struct stat target;
  if (stat(to, &target) == 0 && S_ISDIR(target.st_mode)) {
    errno = EISDIR;
    return Fail(copy, to);
  }
  char* slash = std::strrchr(to, '/');
  if (slash && slash != to) {
    *slash = '\0';
    const bool made = MakeFolders(to);
    *slash = '/';
    if (!made) return Fail(copy, to);
  }
  return CopyFile(copy, from, to, source);
}

// True when `inner` is `outer` or lies inside it: a folder cannot be copied
// into itself.
bool IsWithin(const char* inner, const char* outer) {
  char innerReal[PATH_MAX];
  char outerReal[PATH_MAX];
  if (!realpath(outer, outerReal)) return false;
  // The destination may not exist yet; its nearest existing folder decides.
  char probe[kPosixPathSize];
  std::snprintf(probe, sizeof probe, "%s", inner);
  while (!realpath(probe, innerReal)) {
    char* slash = std::strrchr(probe, '/');
    if (!slash || slash == probe) return false;
    *slash = '\0';
  }
  const size_t length = std::strlen(outerReal);
  return std::strncmp(innerReal, outerReal, length) == 0 &&
         (innerReal[length] == '\0' || innerReal[length] == '/' || length == 1);
}

// Copies one source item to the destination the shell would choose: into
// the destination when that is an existing folder, as the destination
// otherwise.
bool CopyItem(Copy* copy, const char* item, const char* to, bool many) {
  char from[kPosixPathSize];
  char target[kPosixPathSize];
  if (!PosixPath(item, from, sizeof from) || !PosixPath(to, target, sizeof target))
    return Fail(copy, item);
  struct stat source;
  if (stat(from, &source) != 0) return Fail(copy, item);
  struct stat destination;
  if (many || (stat(target, &destination) == 0 && S_ISDIR(destination.st_mode))) {
    size_t length = std::strlen(from);
    while (length > 1 && from[length - 1] == '/') from[--length] = '\0';
    const char* slash = std::strrchr(from, '/');
    const char* name = slash ? slash + 1 : from;
    const size_t used = std::strlen(target);
    if (used + std::strlen(name) + 2 > sizeof target) {
      errno = ENAMETOOLONG;
      return Fail(copy, item);
    }
    std::snprintf(target + used, sizeof target - used, "%s%s",
                  used && target[used - 1] == '/' ? "" : "/", name);
  }
  if (S_ISDIR(source.st_mode) && IsWithin(target, from)) {
    errno = EINVAL;
    return Fail(copy, item);
  }
  return CopyTree(copy, from, target, 0);
}

}  // namespace

PlatCopyResult PlatShellCopy(PlatWindow, const char* from, const char* to,
                             bool showErrors) {
  Copy copy{showErrors, 0, false, 0};
  gInterrupted = 0;
  struct sigaction interrupt = {};
  struct sigaction previous = {};
  interrupt.sa_handler = OnInterrupt;
  sigemptyset(&interrupt.sa_mask);
  sigaction(SIGINT, &interrupt, &previous);

  if (!from[0]) copy.error = ENOENT;  // nothing to copy is no success
  const bool many = from[0] && from[std::strlen(from) + 1];
  for (const char* item = from; *item && !copy.aborted; item += std::strlen(item) + 1) {
    if (!CopyItem(&copy, item, to, many)) break;
  }

  sigaction(SIGINT, &previous, nullptr);
  if (copy.aborted) {
    std::fputs("copy stopped by the user\n", stderr);
    return kPlatCopyStopped;
  }
  return copy.error ? kPlatCopyFailed : kPlatCopyDone;
}
