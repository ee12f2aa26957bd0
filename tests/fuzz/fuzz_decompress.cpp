// Arbitrary bytes as a block: the decoder must stay inside both buffers and
// report what it wrote within the capacity. Only the decoder runs, so that a
// run reaches deep; the writer has a target of its own (fuzz_round_trip).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "package/decompress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Both fast loops, by turns: they differ in how they count bits and move
  // bytes.
  PrepareDecoder(size % 2 ? DecoderLoop::Best : DecoderLoop::Baseline);
  // The capacity comes from the input too, so that short outputs meet the
  // end of the destination as often as long ones do.
  size_t capacity = size >= 2 ? (size_t(data[0]) | size_t(data[1]) << 8) % 4096 : 16;
  std::vector<uint8_t> dest(capacity);
  size_t written = 0;
  if (DecompressBlock(dest.data(), dest.size(), data, size, &written) && written > capacity)
    std::abort();
  // The same bytes over and over, so that damaged blocks also reach the
  // decoder's fast loop, which only runs far from the end of the source.
  if (size != 0) {
    // Exactly sized, so that the address checker sees a read past the end.
    std::vector<uint8_t> repeated((1024 + size - 1) / size * size);
    for (size_t i = 0; i < repeated.size(); ++i) repeated[i] = data[i % size];
    std::vector<uint8_t> wide(4 * capacity);
    if (DecompressBlock(wide.data(), wide.size(), repeated.data(), repeated.size(), &written) &&
        written > wide.size())
      std::abort();
  }
  return 0;
}
