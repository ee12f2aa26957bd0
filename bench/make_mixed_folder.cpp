// Writes the apply benchmark's folder: make_mixed_folder DIR [COUNT SIZE].
#include <cstdio>
#include <cstdlib>
#include <string>

#include "corpus.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: make_mixed_folder DIR [COUNT SIZE]\n");
    return 2;
  }
  const size_t count = argc == 4 ? std::strtoul(argv[2], nullptr, 10) : 16;
  const size_t size = argc == 4 ? std::strtoul(argv[3], nullptr, 10) : 12500000;
  for (const CorpusFile& file : BuildMixedFolder(count, size)) {
    const std::string path = std::string(argv[1]) + "/" + file.name;
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(file.bytes.data(), 1, file.bytes.size(), out) != file.bytes.size() ||
        std::fclose(out) != 0) {
      std::fprintf(stderr, "make_mixed_folder: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
