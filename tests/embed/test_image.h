// Small PE32 images made byte by byte for the tests, with a resource tree
// laid out by hand (not by the writer under test).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct TestSection {
  std::string name;
  std::vector<uint8_t> data;
  uint32_t characteristics = 0x40000040;  // initialised data, readable
};

struct TestImageOptions {
  std::vector<TestSection> sections;
  int resourceSection = -1;    // whose address the resource entry names
  int relocationSection = -1;  // whose address the base relocation one names
  uint16_t machine = 0x14C;
  uint16_t optionalMagic = 0x10B;
  bool certificate = false;  // a certificate table entry (a signed image)
};

constexpr uint32_t kTestSectionAlignment = 0x1000;
constexpr uint32_t kTestFileAlignment = 0x200;

// The address the section of that index gets (sections are laid out one
// after the other, each on kTestSectionAlignment).
uint32_t TestSectionRva(const TestImageOptions& options, size_t index);

std::vector<uint8_t> BuildTestImage(const TestImageOptions& options);

// What the hand-made tree holds.
extern const std::vector<uint8_t> kTestDialog;    // type 5, name 101, 1041
extern const std::vector<uint8_t> kTestManifest;  // type 24, name 1, 1033
extern const std::vector<uint8_t> kTestOldPackage;  // "UPDATE", 102, 1041

// A resource section for address `rva`: the data first, then the
// directories, with the type "UPDATE" named.
std::vector<uint8_t> HandMadeResources(uint32_t rva);

// The usual stub: .text, .rsrc (hand-made), then .reloc.
TestImageOptions StubLikeImage();
