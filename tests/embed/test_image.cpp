#include "test_image.h"

#include <cstring>

namespace {

void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  v[at] = uint8_t(x);
  v[at + 1] = uint8_t(x >> 8);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  Put16(v, at, x);
  Put16(v, at + 2, x >> 16);
}
uint32_t Align(uint32_t v, uint32_t a) { return (v + a - 1) & ~(a - 1); }

std::vector<uint8_t> Bytes(const char* text) {
  return std::vector<uint8_t>(text, text + std::strlen(text));
}

}  // namespace

const std::vector<uint8_t> kTestDialog = Bytes("\x01\x00\xff\xff dialog template");
const std::vector<uint8_t> kTestManifest = Bytes("<assembly>manifest</assembly>");
const std::vector<uint8_t> kTestOldPackage = Bytes("QW2\0old package bytes");

uint32_t TestSectionRva(const TestImageOptions& options, size_t index) {
  uint32_t rva = kTestSectionAlignment;
  for (size_t i = 0; i < index; ++i) {
    rva += Align(uint32_t(options.sections[i].data.size()), kTestSectionAlignment);
  }
  return rva;
}

std::vector<uint8_t> HandMadeResources(uint32_t rva) {
  // The root at 0 (the resource entry names it), the name "UPDATE" at 40,
  // the data entries at 56, the type directories at 104, the name
  // directories at 176, the data at 256, 320 and 384.
  std::vector<uint8_t> s(448, 0);
  Put16(s, 12, 1);  // named entries
  Put16(s, 14, 2);  // id entries
  Put32(s, 16, 0x80000000u | 40);
  Put32(s, 20, 0x80000000u | 152);
  Put32(s, 24, 5);
  Put32(s, 28, 0x80000000u | 104);
  Put32(s, 32, 24);
  Put32(s, 36, 0x80000000u | 128);
  Put16(s, 40, 6);
  for (int i = 0; i < 6; ++i) Put16(s, 42 + 2 * i, "UPDATE"[i]);
  const uint32_t ids[3] = {101, 1, 102};
  const uint32_t languages[3] = {1041, 1033, 1041};
  const uint32_t codePages[3] = {0, 1252, 0};
  const std::vector<uint8_t>* data[3] = {&kTestDialog, &kTestManifest,
                                         &kTestOldPackage};
  for (uint32_t i = 0; i < 3; ++i) {
    const size_t typeDir = 104 + 24 * i, nameDir = 176 + 24 * i;
    const size_t entry = 56 + 16 * i, at = 256 + 64 * i;
    Put16(s, typeDir + 14, 1);
    Put32(s, typeDir + 16, ids[i]);
    Put32(s, typeDir + 20, 0x80000000u | uint32_t(nameDir));
    Put16(s, nameDir + 14, 1);
    Put32(s, nameDir + 16, languages[i]);
    Put32(s, nameDir + 20, uint32_t(entry));
    Put32(s, entry, rva + uint32_t(at));
    Put32(s, entry + 4, uint32_t(data[i]->size()));
    Put32(s, entry + 8, codePages[i]);
    std::memcpy(&s[at], data[i]->data(), data[i]->size());
  }
  return s;
}

TestImageOptions StubLikeImage() {
  TestImageOptions options;
  options.sections.push_back({".text", std::vector<uint8_t>(0x300, 0xCC), 0x60000020});
  options.sections.push_back({".rsrc", {}, 0x40000040});
  options.sections.push_back({".reloc", std::vector<uint8_t>(0x20, 0x5A), 0x42000040});
  options.resourceSection = 1;
  options.relocationSection = 2;
  options.sections[1].data = HandMadeResources(TestSectionRva(options, 1));
  return options;
}

std::vector<uint8_t> BuildTestImage(const TestImageOptions& options) {
  const size_t count = options.sections.size();
  const uint32_t headersSize = 0x200;
  std::vector<uint8_t> image(headersSize, 0);
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, 0x40);
  std::memcpy(&image[0x40], "PE\0\0", 4);
  const size_t file = 0x44, optional = 0x58;
  Put16(image, file, options.machine);
  Put16(image, file + 2, uint32_t(count));
  Put16(image, file + 16, 224);  // optional header with 16 directories
  Put16(image, file + 18, 0x0102);
  Put16(image, optional, options.optionalMagic);
  Put32(image, optional + 28, 0x400000);
  Put32(image, optional + 32, kTestSectionAlignment);
  Put32(image, optional + 36, kTestFileAlignment);
  Put32(image, optional + 60, headersSize);
  Put16(image, optional + 68, 2);  // GUI
  Put32(image, optional + 92, 16);
  const auto directory = [&](uint32_t index, uint32_t rva, uint32_t size) {
    Put32(image, optional + 96 + 8 * index, rva);
    Put32(image, optional + 100 + 8 * index, size);
  };
  uint32_t raw = headersSize;
  for (size_t i = 0; i < count; ++i) {
    const TestSection& section = options.sections[i];
    const uint32_t size = uint32_t(section.data.size());
    const size_t header = optional + 224 + 40 * i;
    std::memcpy(&image[header], section.name.data(), section.name.size());
    Put32(image, header + 8, size);
    Put32(image, header + 12, TestSectionRva(options, i));
    Put32(image, header + 16, Align(size, kTestFileAlignment));
    Put32(image, header + 20, raw);
    Put32(image, header + 36, section.characteristics);
    image.resize(raw + Align(size, kTestFileAlignment), 0);
    std::memcpy(&image[raw], section.data.data(), size);
    raw += Align(size, kTestFileAlignment);
    if (int(i) == options.resourceSection) directory(2, TestSectionRva(options, i), size);
    if (int(i) == options.relocationSection) directory(5, TestSectionRva(options, i), size);
  }
  Put32(image, optional + 56, TestSectionRva(options, count));
  if (options.certificate) {
    directory(4, raw, 16);
    image.resize(raw + 16, 0);
  }
  return image;
}
