// The patch benchmark's tool: builds a patch from two files, or applies one
// the way the updater does (the old file read where the patch needs it, the
// new one written in pieces and flushed). Its patch file is the new size
// (4 bytes, little endian) followed by the stream.
//   patch_file build OLD NEW PATCH
//   patch_file apply OLD PATCH NEW
//   patch_file decode OLD PATCH   (the decoding alone, in memory: the
//                                  fastest pass's processor seconds)
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "core/le.h"
#include "timing.h"
#include "pack/patch_builder.h"
#include "package/patch_apply.h"

namespace {

std::vector<uint8_t> ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::vector<uint8_t> bytes(in ? size_t(in.tellg()) : 0);
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
  return bytes;
}

bool ReadAt(void* ctx, uint32_t offset, uint8_t* dest, uint32_t size) {
  const int fd = *static_cast<int*>(ctx);
  while (size != 0) {
    const ssize_t n = pread(fd, dest, size, offset);
    if (n <= 0) return false;
    dest += n;
    offset += uint32_t(n);
    size -= uint32_t(n);
  }
  return true;
}

bool WriteAll(void* ctx, const uint8_t* bytes, uint32_t size) {
  const int fd = *static_cast<int*>(ctx);
  while (size != 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n <= 0) return false;
    bytes += n;
    size -= uint32_t(n);
  }
  return true;
}

int Build(const char* oldPath, const char* newPath, const char* patchPath) {
  const std::vector<uint8_t> old = ReadAll(oldPath), now = ReadAll(newPath);
  const std::vector<uint8_t> patch = BuildPatch(old.data(), old.size(), now.data(), now.size());
  uint8_t size[4];
  StoreLe32(size, uint32_t(now.size()));
  std::ofstream out(patchPath, std::ios::binary);
  out.write(reinterpret_cast<const char*>(size), 4);
  out.write(reinterpret_cast<const char*>(patch.data()), std::streamsize(patch.size()));
  return out ? 0 : 1;
}

int Apply(const char* oldPath, const char* patchPath, const char* newPath) {
  const std::vector<uint8_t> patch = ReadAll(patchPath);
  if (patch.size() < 4) return 1;
  int old = open(oldPath, O_RDONLY);
  int out = open(newPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (old < 0 || out < 0) return 1;
  const off_t oldSize = lseek(old, 0, SEEK_END);
  const bool ok = ApplyPatch(patch.data() + 4, uint32_t(patch.size() - 4), uint32_t(oldSize),
                             LoadLe32(patch.data()), {ReadAt, &old}, {WriteAll, &out});
  const bool flushed = fsync(out) == 0;
  close(old);
  close(out);
  if (!ok) std::fprintf(stderr, "patch_file: the patch does not apply\n");
  return ok && flushed ? 0 : 1;
}

int Decode(const char* oldPath, const char* patchPath) {
  const std::vector<uint8_t> patch = ReadAll(patchPath), old = ReadAll(oldPath);
  if (patch.size() < 4) return 1;
  PatchOldFile reader{[](void* ctx, uint32_t offset, uint8_t* dest, uint32_t size) {
                        std::memcpy(dest, static_cast<const uint8_t*>(ctx) + offset, size);
                        return true;
                      },
                      const_cast<uint8_t*>(old.data())};
  PatchSink discard{[](void*, const uint8_t*, uint32_t) { return true; }, nullptr};
  bool ok = true;
  const double seconds = FastestPass(
      [&] {
        ok &= ApplyPatch(patch.data() + 4, uint32_t(patch.size() - 4), uint32_t(old.size()),
                         LoadLe32(patch.data()), reader, discard);
      },
      1.0);
  std::printf("%.6f\n", seconds);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "build") == 0) return Build(argv[2], argv[3], argv[4]);
  if (argc == 5 && std::strcmp(argv[1], "apply") == 0) return Apply(argv[2], argv[3], argv[4]);
  if (argc == 4 && std::strcmp(argv[1], "decode") == 0) return Decode(argv[2], argv[3]);
  std::fprintf(stderr, "usage: patch_file build OLD NEW PATCH | apply OLD PATCH NEW\n");
  return 2;
}
