// Every field of an .ico file is foreign input: each is checked against the
// file's end before it is used, and each image against its directory entry,
// since the system picks an image by the entry and draws it by its header.
#include "pack/icon_resources.h"

#include <algorithm>
#include <cstring>

#include "core/le.h"

namespace {

constexpr size_t kFileHeaderSize = 6;
constexpr size_t kFileEntrySize = 16;
constexpr size_t kGroupEntrySize = 14;
constexpr uint16_t kTypeIcon = 1;
constexpr uint16_t kTypeCursor = 2;
constexpr uint32_t kBitmapHeaderSize = 40;
constexpr uint32_t kBitmapUncompressed = 0;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Signature, the IHDR chunk's length and type, and its 13 bytes of data.
constexpr size_t kPngHeaderSize = 8 + 8 + 13;

// What an image's own header says about it.
struct ImageFacts {
  uint32_t width, height;
  uint16_t planes, bitCount;
};

// A directory entry's size: 0 stands for 256.
uint32_t EntrySize(uint8_t field) { return field ? field : 256; }

uint32_t LoadBe32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

std::string Dimensions(uint32_t width, uint32_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// The bytes one row takes, padded to 32 bits as bitmaps store rows.
uint64_t RowBytes(uint64_t width, uint32_t bitCount) {
  return (width * bitCount + 31) / 32 * 4;
}

bool ReadPng(const uint8_t* image, uint32_t size, ImageFacts* facts,
             std::string* fault) {
  if (size < kPngHeaderSize || std::memcmp(image + 12, "IHDR", 4) != 0) {
    *fault = "its PNG is cut short or does not start with its header chunk";
    return false;
  }
  facts->width = LoadBe32(image + 16);
  facts->height = LoadBe32(image + 20);
  const uint8_t depth = image[24];
  const uint8_t colourType = image[25];
  // Samples per pixel by colour type: grey, -, RGB, palette, grey and
  // alpha, -, RGB and alpha.
  static const uint8_t kSamples[7] = {1, 0, 3, 1, 2, 0, 4};
  if (colourType > 6 || kSamples[colourType] == 0) {
    *fault = "its PNG has an unknown colour type " + std::to_string(colourType);
    return false;
  }
  facts->planes = 1;
  facts->bitCount = uint16_t(depth * kSamples[colourType]);
  return true;
}

bool ReadBitmap(const uint8_t* image, uint32_t size, ImageFacts* facts,
                std::string* fault) {
  if (size < kBitmapHeaderSize || LoadLe32(image) != kBitmapHeaderSize) {
    *fault = "it is neither a PNG nor a bitmap with the 40-byte header "
             "icons use";
    return false;
  }
  const int32_t width = int32_t(LoadLe32(image + 4));
  const int32_t doubleHeight = int32_t(LoadLe32(image + 8));
  facts->planes = LoadLe16(image + 12);
  facts->bitCount = LoadLe16(image + 14);
  const uint32_t compression = LoadLe32(image + 16);
  const uint32_t coloursUsed = LoadLe32(image + 32);
  if (compression != kBitmapUncompressed) {
    *fault = "its bitmap is compressed (method " + std::to_string(compression) +
             "), which an icon cannot be";
    return false;
  }
  const uint16_t depths[] = {1, 4, 8, 16, 24, 32};
  if (facts->planes != 1 ||
      std::find(std::begin(depths), std::end(depths), facts->bitCount) ==
          std::end(depths)) {
    *fault = "its bitmap has " + std::to_string(facts->planes) + " planes of " +
             std::to_string(facts->bitCount) + " bits per pixel";
    return false;
  }
  // The height counts the colour rows and the mask rows below them.
  if (width <= 0 || doubleHeight <= 0 || doubleHeight % 2 != 0) {
    *fault = "its bitmap's size " + std::to_string(width) + "x" +
             std::to_string(doubleHeight) + " is not that of an icon";
    return false;
  }
  facts->width = uint32_t(width);
  facts->height = uint32_t(doubleHeight) / 2;
  const uint64_t palette =
      facts->bitCount <= 8
          ? 4 * uint64_t(coloursUsed ? std::min<uint32_t>(coloursUsed, 1u << facts->bitCount)
                                     : 1u << facts->bitCount)
          : 0;
  const uint64_t needed = kBitmapHeaderSize + palette +
                          facts->height * RowBytes(facts->width, facts->bitCount) +
                          facts->height * RowBytes(facts->width, 1);
  if (needed > size) {
    *fault = "its bitmap needs " + std::to_string(needed) +
             " bytes, the file gives it " + std::to_string(size);
    return false;
  }
  return true;
}

}  // namespace

bool ReadIconFile(const uint8_t* data, size_t size, IconImages* result,
                  std::string* fault) {
  *result = IconImages();
  if (size < kFileHeaderSize) {
    *fault = "it is too short for an icon file (" + std::to_string(size) +
             " bytes)";
    return false;
  }
  const uint16_t type = LoadLe16(data + 2);
  if (LoadLe16(data) != 0 || type != kTypeIcon) {
    *fault = type == kTypeCursor && LoadLe16(data) == 0
                 ? "it is a cursor, not an icon"
                 : "it is not an icon file (no .ico header)";
    return false;
  }
  const uint16_t count = LoadLe16(data + 4);
  if (count == 0) {
    *fault = "it holds no image";
    return false;
  }
  const size_t directoryEnd = kFileHeaderSize + count * kFileEntrySize;
  if (directoryEnd > size) {
    *fault = "its directory of " + std::to_string(count) +
             " images runs past the end of the file";
    return false;
  }

  IconImages icon;  // given to the caller only once all of it is read
  icon.group.resize(kFileHeaderSize + count * kGroupEntrySize);
  std::memcpy(icon.group.data(), data, kFileHeaderSize);
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* entry = data + kFileHeaderSize + i * kFileEntrySize;
    const uint32_t width = EntrySize(entry[0]);
    const uint32_t height = EntrySize(entry[1]);
    const uint32_t length = LoadLe32(entry + 8);
    const uint32_t offset = LoadLe32(entry + 12);
    const std::string name = "image " + std::to_string(i + 1) + " (" +
                             Dimensions(width, height) + "): ";
    if (length == 0) {
      *fault = name + "it is empty";
      return false;
    }
    if (offset < directoryEnd || uint64_t(offset) + length > size) {
      *fault = name + "its " + std::to_string(length) + " bytes at offset " +
               std::to_string(offset) + " lie outside the images of the " +
               std::to_string(size) + "-byte file";
      return false;
    }
    const uint8_t* image = data + offset;
    const bool png =
        length >= sizeof kPngSignature &&
        std::memcmp(image, kPngSignature, sizeof kPngSignature) == 0;
    ImageFacts facts{};
    std::string why;
    if (!(png ? ReadPng(image, length, &facts, &why)
              : ReadBitmap(image, length, &facts, &why))) {
      *fault = name + why;
      return false;
    }
    if (facts.width != width || facts.height != height) {
      *fault = name + "its " + (png ? "PNG" : "bitmap") + " is " +
               Dimensions(facts.width, facts.height);
      return false;
    }
    icon.images.emplace_back(image, image + length);
    // The entry as the group keeps it: the sizes and colour count as
    // written, the planes and depth as the image itself has them (files
    // often leave them 0, and the system picks an image by them).
    uint8_t* out = icon.group.data() + kFileHeaderSize + i * kGroupEntrySize;
    std::memcpy(out, entry, 4);
    out[3] = 0;
    StoreLe16(out + 4, facts.planes);
    StoreLe16(out + 6, facts.bitCount);
    StoreLe32(out + 8, length);
    StoreLe16(out + 12, uint16_t(i + 1));
  }
  *result = std::move(icon);
  return true;
}

void PutIconResources(std::vector<PeResource>* resources,
                      const IconImages& icon, uint16_t language) {
  std::erase_if(*resources, [](const PeResource& r) {
    return r.type.isId && (r.type.id == kPeTypeIcon || r.type.id == kPeTypeGroupIcon);
  });
  const auto put = [&](uint16_t type, uint16_t id, const std::vector<uint8_t>& bytes) {
    PeResource r;
    r.type = PeResourceName::Id(type);
    r.name = PeResourceName::Id(id);
    r.language = language;
    r.data = bytes.data();
    r.size = uint32_t(bytes.size());
    resources->push_back(r);
  };
  for (size_t i = 0; i < icon.images.size(); ++i) {
    put(kPeTypeIcon, uint16_t(i + 1), icon.images[i]);
  }
  // The lowest id of the type: the group Explorer takes for the program.
  put(kPeTypeGroupIcon, 1, icon.group);
}
