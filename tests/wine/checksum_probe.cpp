// checksum_probe EXE: the header checksum of an executable and the one the
// system computes for its bytes (MapFileAndCheckSumA), as
// "header=XXXXXXXX computed=XXXXXXXX"; exit 0 when they agree.
#include <windows.h>
#include <imagehlp.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: checksum_probe EXE\n");
    return 2;
  }
  DWORD header = 0, computed = 0;
  if (MapFileAndCheckSumA(argv[1], &header, &computed) != CHECKSUM_SUCCESS) {
    std::fprintf(stderr, "checksum_probe: cannot read %s\n", argv[1]);
    return 2;
  }
  std::printf("header=%08lx computed=%08lx\n", static_cast<unsigned long>(header),
              static_cast<unsigned long>(computed));
  return header == computed ? 0 : 1;
}
