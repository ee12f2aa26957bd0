// Path translation: '\' to '/', drive letters through the drive table.
#include "platform/posix/paths.h"

#include <cerrno>
#include <cstring>

#include "platform/posix/drives.h"
#include "core/sjis.h"

bool ParseDriveRoot(const char* root, char* letter) {
  char c = root[0];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c < 'A' || c > 'Z' || root[1] != ':') return false;
  if (root[2] != '\0' && !((root[2] == '\\' || root[2] == '/') && root[3] == '\0'))
    return false;
  *letter = c;
  return true;
}

bool PosixPath(const char* path, char* out, size_t capacity) {
  size_t used = 0;
  const char* rest = path;
  char c = path[0];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'Z' && path[1] == ':') {
    if (!LookUpDrive(c, out, capacity)) {
      errno = ENOENT;
      return false;
    }
    used = std::strlen(out);
    rest = path + 2;
    // "E:file" means the file in the drive's root folder here.
    if (*rest != '\\' && *rest != '/' && *rest != '\0') {
      if (used + 1 >= capacity) {
        errno = ENAMETOOLONG;
        return false;
      }
      out[used++] = '/';
    }
  }
  const char* const end = rest + std::strlen(rest);
  for (const char* p = rest; p < end;) {
    const int n = SjisCharLength(p, end);
    if (used + n >= capacity) {
      errno = ENAMETOOLONG;
      return false;
    }
    if (n == 1 && *p == '\\') {
      out[used++] = '/';
    } else {
      std::memcpy(out + used, p, n);
      used += n;
    }
    p += n;
  }
  out[used] = '\0';
  return true;
}
