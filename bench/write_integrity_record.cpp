// Writes the integrity record of a package file, which the native updater
// reads from the file named by UPDATER_INTEGRITY, for the apply benchmark:
// write_integrity_record PACKAGE RECORD.
#include <cstdio>
#include <vector>

#include "pack/integrity_record.h"

namespace {

bool ReadFile(const char* path, std::vector<uint8_t>* bytes) {
  FILE* in = std::fopen(path, "rb");
  if (!in) return false;
  uint8_t chunk[1 << 16];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) bytes->insert(bytes->end(), chunk, chunk + n);
  const bool ok = !std::ferror(in);
  std::fclose(in);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: write_integrity_record PACKAGE RECORD\n");
    return 2;
  }
  std::vector<uint8_t> package, record;
  if (!ReadFile(argv[1], &package) || package.size() > UINT32_MAX ||
      !BuildIntegrityRecord(package.data(), uint32_t(package.size()), &record)) {
    std::fprintf(stderr, "write_integrity_record: %s is not a readable package\n", argv[1]);
    return 1;
  }
  FILE* out = std::fopen(argv[2], "wb");
  if (!out || std::fwrite(record.data(), 1, record.size(), out) != record.size() ||
      std::fclose(out) != 0) {
    std::fprintf(stderr, "write_integrity_record: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
