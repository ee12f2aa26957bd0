// Asks a profile reader, for every request on stdin, what it reads with an
// empty default. Built for Windows it asks GetPrivateProfileStringA (run
// under Wine); built natively it asks our own reader through the platform
// layer. ini_diff.sh feeds both the same requests and compares the answers.
//
// Request, one a line:  PATH <TAB> SECTION-HEX <TAB> KEY-HEX <TAB> CAPACITY
// Answer, one a line:   COUNT <SPACE> VALUE-HEX
// PATH is a Unix path (Z:\... on Windows); "-" stands for empty hex.
#ifdef _WIN32
#include <windows.h>
#else
#include "platform/platform.h"
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static std::string FromHex(const char* hex) {
  std::string out;
  if (std::strcmp(hex, "-") == 0) return out;
  for (size_t i = 0; hex[i] && hex[i + 1]; i += 2)
    out.push_back(static_cast<char>(std::strtoul(std::string(hex + i, 2).c_str(), nullptr, 16)));
  return out;
}

static unsigned long ReadProfile(const std::string& path, const std::string& section,
                                 const std::string& key, char* buffer, unsigned capacity) {
#ifdef _WIN32
  std::string windowsPath = "Z:" + path;
  for (char& c : windowsPath)
    if (c == '/') c = '\\';
  return GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, capacity,
                                  windowsPath.c_str());
#else
  return PlatReadProfileString(section.c_str(), key.c_str(), buffer, capacity, path.c_str());
#endif
}

int main() {
  char line[4096];
  while (std::fgets(line, sizeof line, stdin)) {
    line[std::strcspn(line, "\r\n")] = '\0';
    char* fields[4] = {};
    char* cursor = line;
    for (int i = 0; i < 4; ++i) {
      fields[i] = cursor;
      cursor = std::strchr(cursor, '\t');
      if (!cursor && i < 3) {
        std::fprintf(stderr, "ini_probe: malformed request: %s\n", line);
        return 2;
      }
      if (cursor) *cursor++ = '\0';
    }
    const unsigned capacity = static_cast<unsigned>(std::strtoul(fields[3], nullptr, 10));
    // Zero-filled, as the updater's readers fill their buffers.
    std::vector<char> buffer(capacity + 1, '\0');
    const unsigned long count =
        ReadProfile(fields[0], FromHex(fields[1]), FromHex(fields[2]), buffer.data(), capacity);
    std::printf("%lu ", count);
    const size_t length = std::strlen(buffer.data());
    if (length == 0) std::printf("-");
    for (size_t i = 0; i < length; ++i)
      std::printf("%02x", static_cast<unsigned char>(buffer[i]));
    std::printf("\n");
  }
  return 0;
}
