// The window table: entries written while a window is open, searched by
// class and title like FindWindowA (without regard to ASCII case).
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/atomic_file.h"
#include "platform/posix/ui.h"
#include "core/sjis.h"
#include "platform/posix/window.h"

namespace {

bool TableFolder(char* folder, size_t capacity) {
  const char* named = std::getenv("UPDATER_WINDOWS");
  int written;
  if (named && *named) {
    written = std::snprintf(folder, capacity, "%s", named);
  } else {
    char temp[kPosixPathSize];
    if (!PlatTempFolder(temp, sizeof temp)) return false;
    written = std::snprintf(folder, capacity, "%supdater-windows-%u", temp,
                            static_cast<unsigned>(getuid()));
  }
  return written > 0 && static_cast<size_t>(written) < capacity;
}

void CopyCut(char* dest, size_t capacity, const char* text) {
  if (!text) text = "";
  const size_t length = strnlen(text, capacity - 1);
  std::memcpy(dest, text, length);
  dest[length] = '\0';
}

// An entry named "<pid>-<n>" belongs to a process; once that process is
// gone (it crashed before it could remove the entry) the entry is stale.
bool IsStale(const char* name) {
  char* end = nullptr;
  const long pid = std::strtol(name, &end, 10);
  if (end == name || *end != '-' || pid <= 0) return false;
  return kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Reads an entry: class on the first line, title after it (one final new
// line dropped).
bool ReadEntry(const char* path, PlatWindowTag* window) {
  const int fd = open(path, O_RDONLY);
  if (fd < 0) return false;
  char text[sizeof window->className + sizeof window->title + 2];
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n < 0) return false;
  text[n] = '\0';
  char* newline = std::strchr(text, '\n');
  if (!newline) return false;
  *newline = '\0';
  char* title = newline + 1;
  const size_t titleLength = std::strlen(title);
  if (titleLength > 0 && title[titleLength - 1] == '\n') title[titleLength - 1] = '\0';
  InitWindow(window, kWindowFound, text, title);
  return true;
}

}  // namespace

void InitWindow(PlatWindowTag* window, WindowKind kind, const char* className, const char* title) {
  window->kind = kind;
  CopyCut(window->className, sizeof window->className, className);
  CopyCut(window->title, sizeof window->title, title);
  window->entry[0] = '\0';
}

void ListWindow(PlatWindowTag* window) {
  static unsigned serial = 0;
  char folder[kPosixPathSize];
  if (!TableFolder(folder, sizeof folder)) return;
  if (!window->entry[0]) {
    if (mkdir(folder, 0700) != 0 && errno != EEXIST) {
      std::fprintf(stderr, "window table %s: %s\n", folder, std::strerror(errno));
      return;
    }
    const int written = std::snprintf(window->entry, sizeof window->entry, "%s/%ld-%u", folder,
                                      static_cast<long>(getpid()), ++serial);
    if (written < 0 || static_cast<size_t>(written) >= sizeof window->entry) {
      window->entry[0] = '\0';
      return;
    }
  }
  // Replaced in one step, so a search never reads half an entry.
  char text[sizeof window->className + sizeof window->title + 2];
  const int length = std::snprintf(text, sizeof text, "%s\n%s\n", window->className, window->title);
  AtomicFile file;
  bool ok = AtomicBegin(&file, window->entry);
  if (ok && !AtomicWrite(&file, text, static_cast<size_t>(length))) {
    AtomicAbandon(&file);
    ok = false;
  }
  if (ok) ok = AtomicCommit(&file, 0644, nullptr);
  if (!ok) {
    std::fprintf(stderr, "window table %s: %s\n", window->entry, std::strerror(errno));
    window->entry[0] = '\0';
  }
}

void UnlistWindow(PlatWindowTag* window) {
  if (window->entry[0]) unlink(window->entry);
  window->entry[0] = '\0';
}

PlatWindow PlatFindWindow(const char* className, const char* title) {
  // The handle stays valid until the next search, which is all its callers
  // need: they bring the window forward at once.
  static PlatWindowTag found;
  if (!className) className = kDialogClass;
  char folder[kPosixPathSize];
  if (!TableFolder(folder, sizeof folder)) return nullptr;
  DIR* dir = opendir(folder);
  if (!dir) return nullptr;
  bool match = false;
  while (!match) {
    const dirent* item = readdir(dir);
    if (!item) break;
    if (item->d_name[0] == '.') continue;
    char path[kPosixPathSize];
    if (std::snprintf(path, sizeof path, "%s/%s", folder, item->d_name) >=
        static_cast<int>(sizeof path))
      continue;
    if (IsStale(item->d_name)) {
      unlink(path);
      continue;
    }
    match = ReadEntry(path, &found) && SjisEqualIgnoreCase(found.className, className) &&
            SjisEqualIgnoreCase(found.title, title);
  }
  closedir(dir);
  return match ? &found : nullptr;
}

void PlatBringToFront(PlatWindow window) {
  if (!window) return;
  const PosixUi& ui = PosixCurrentUi();
  ui.broughtToFront(ui.ctx, window);
}
