// make_test_stub OUT: writes the hand-made stub-like image (.text, .rsrc
// with a dialog, a manifest and an old package, .reloc) for the command
// line tests, which have no real updater stub on Linux.
#include <cstdio>

#include "test_image.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_test_stub OUT\n");
    return 2;
  }
  const std::vector<uint8_t> image = BuildTestImage(StubLikeImage());
  FILE* out = std::fopen(argv[1], "wb");
  if (!out) return 1;
  const bool written = std::fwrite(image.data(), 1, image.size(), out) == image.size();
  return std::fclose(out) == 0 && written ? 0 : 1;
}
