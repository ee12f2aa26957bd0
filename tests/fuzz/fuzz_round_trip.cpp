// Arbitrary bytes as data: both writer levels must give blocks that decode
// back to exactly them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pack/compress.h"
#include "package/decompress.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  PrepareDecoder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (CompressLevel level : {CompressLevel::Greedy, CompressLevel::Best}) {
    std::vector<uint8_t> block = CompressBlock(data, size, level);
    std::vector<uint8_t> out(size);
    size_t written = 0;
    if (!DecompressBlock(out.data(), out.size(), block.data(), block.size(), &written) ||
        written != size || (size != 0 && std::memcmp(out.data(), data, size) != 0))
      std::abort();
  }
  return 0;
}
