// The .ico reader over arbitrary bytes: it must never read outside them,
// and an icon it accepts must have one group entry per image, each naming
// its image by id and giving its size, each image a run of the input.
#include <cstdint>
#include <cstring>
#include <string>

#include "core/le.h"
#include "pack/icon_resources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  IconImages icon;
  std::string fault;
  if (!ReadIconFile(data, size, &icon, &fault)) {
    if (fault.empty() || !icon.images.empty()) __builtin_trap();
    return 0;
  }
  const size_t count = icon.images.size();
  if (count == 0 || icon.group.size() != 6 + 14 * count ||
      LoadLe16(icon.group.data() + 4) != count) {
    __builtin_trap();
  }
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = icon.group.data() + 6 + 14 * i;
    const std::vector<uint8_t>& image = icon.images[i];
    if (LoadLe32(entry + 8) != image.size() || LoadLe16(entry + 12) != i + 1 ||
        image.empty() || image.size() > size ||
        std::memcmp(data + LoadLe32(data + 6 + 16 * i + 12), image.data(),
                    image.size()) != 0) {
      __builtin_trap();
    }
  }
  return 0;
}
