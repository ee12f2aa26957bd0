// The resource section reader and writer on hand-made images: what is read,
// what a rewrite keeps and moves, and what it refuses.
#include "pack/pe_resources.h"

#include <gtest/gtest.h>

#include <cstring>

#include "test_image.h"

namespace {

uint32_t Get32(const std::vector<uint8_t>& v, size_t at) {
  return v[at] | v[at + 1] << 8 | v[at + 2] << 16 | uint32_t(v[at + 3]) << 24;
}

std::vector<uint8_t> Bytes(const PeResource& r) {
  return std::vector<uint8_t>(r.data, r.data + r.size);
}

const PeResourceName kUpdate = PeResourceName::Named(u"UPDATE");

PeResource PackageResource(const std::vector<uint8_t>& package) {
  PeResource r;
  r.type = kUpdate;
  r.name = PeResourceName::Id(102);
  r.language = 1041;
  r.data = package.data();
  r.size = uint32_t(package.size());
  return r;
}

// The image with `package` as UPDATE 102, through read, put and write.
std::vector<uint8_t> Embed(const std::vector<uint8_t>& image,
                           const std::vector<uint8_t>& package,
                           PeFault expected = PeFault::None) {
  std::vector<PeResource> resources;
  // Faults of the layout show only when writing; the tree reads.
  const bool layoutFault =
      expected == PeFault::Signed || expected == PeFault::ResourceNotLast ||
      expected == PeFault::SharedSection || expected == PeFault::TrailingData ||
      expected == PeFault::NoRoomForSection;
  EXPECT_EQ(ReadPeResources(image.data(), image.size(), &resources),
            layoutFault ? PeFault::None : expected);
  PutPeResource(&resources, PackageResource(package));
  std::vector<uint8_t> out = {1};
  EXPECT_EQ(WritePeResources(image.data(), image.size(), resources, &out), expected);
  if (expected != PeFault::None) {
    EXPECT_TRUE(out.empty());
  }
  return out;
}

TEST(PeResources, ReadsTheHandMadeTree) {
  const std::vector<uint8_t> image = BuildTestImage(StubLikeImage());
  std::vector<PeResource> resources;
  ASSERT_EQ(ReadPeResources(image.data(), image.size(), &resources), PeFault::None);
  ASSERT_EQ(resources.size(), 3u);
  EXPECT_TRUE(SamePeResourceName(resources[0].type, PeResourceName::Named(u"update")));
  EXPECT_EQ(resources[0].name.id, 102);
  EXPECT_EQ(Bytes(resources[0]), kTestOldPackage);
  EXPECT_EQ(resources[1].type.id, 5);
  EXPECT_EQ(resources[1].name.id, 101);
  EXPECT_EQ(resources[1].language, 1041);
  EXPECT_EQ(Bytes(resources[1]), kTestDialog);
  EXPECT_EQ(resources[2].type.id, 24);
  EXPECT_EQ(resources[2].language, 1033);
  EXPECT_EQ(resources[2].codePage, 1252u);
  EXPECT_EQ(Bytes(resources[2]), kTestManifest);
  const PeResource* found = FindPeResource(resources, kUpdate, PeResourceName::Id(102), 1033);
  ASSERT_NE(found, nullptr);  // no 1033 one: the first of any language
  EXPECT_EQ(found->language, 1041);
  EXPECT_EQ(FindPeResource(resources, kUpdate, PeResourceName::Id(103), 1041), nullptr);
}

TEST(PeResources, EmbedKeepsTheRestMovesRelocationsAndPlacesResourcesLast) {
  const TestImageOptions options = StubLikeImage();
  const std::vector<uint8_t> image = BuildTestImage(options);
  std::vector<uint8_t> package(5000);
  for (size_t i = 0; i < package.size(); ++i) package[i] = uint8_t(i * 7);
  const std::vector<uint8_t> out = Embed(image, package);
  ASSERT_FALSE(out.empty());

  PeHeaders h;
  ASSERT_EQ(ParsePeHeaders(out.data(), out.size(), &h), PeFault::None);
  ASSERT_EQ(h.sections.size(), 3u);
  // .text untouched, at the same place.
  EXPECT_EQ(0, std::memcmp(&out[h.sections[0].rawPointer], &image[0x200], 0x300));
  // The relocations take the old resources' address; the resources follow.
  const uint32_t oldResourceRva = TestSectionRva(options, 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&out[h.sections[1].headerOffset])), ".reloc");
  EXPECT_EQ(h.sections[1].virtualAddress, oldResourceRva);
  EXPECT_EQ(h.DirectoryRva(kPeBaseRelocationDirectory, out.data()), oldResourceRva);
  EXPECT_EQ(h.DirectorySize(kPeBaseRelocationDirectory, out.data()), 0x20u);
  EXPECT_EQ(0, std::memcmp(&out[h.sections[1].rawPointer], options.sections[2].data.data(), 0x20));
  const PeSection& rsrc = h.sections[2];
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&out[rsrc.headerOffset])), ".rsrc");
  EXPECT_EQ(rsrc.virtualAddress, oldResourceRva + kTestSectionAlignment);
  EXPECT_EQ(h.DirectoryRva(kPeResourceDirectory, out.data()), rsrc.virtualAddress);
  EXPECT_EQ(h.DirectorySize(kPeResourceDirectory, out.data()), rsrc.virtualSize);
  EXPECT_EQ(rsrc.rawPointer % kTestFileAlignment, 0u);
  EXPECT_EQ(rsrc.rawSize % kTestFileAlignment, 0u);
  EXPECT_EQ(out.size(), size_t(rsrc.rawPointer) + rsrc.rawSize);
  EXPECT_EQ(h.sizeOfImage,
            (rsrc.virtualAddress + rsrc.virtualSize + kTestSectionAlignment - 1) &
                ~(kTestSectionAlignment - 1));
  EXPECT_EQ(Get32(out, h.checksumOffset), PeChecksum(out.data(), out.size(), h.checksumOffset));
  EXPECT_NE(Get32(out, h.checksumOffset), 0u);

  std::vector<PeResource> back;
  ASSERT_EQ(ReadPeResources(out.data(), out.size(), &back), PeFault::None);
  ASSERT_EQ(back.size(), 3u);
  const PeResource* dialog = FindPeResource(back, PeResourceName::Id(5), PeResourceName::Id(101), 1041);
  const PeResource* manifest = FindPeResource(back, PeResourceName::Id(24), PeResourceName::Id(1), 1033);
  const PeResource* update = FindPeResource(back, kUpdate, PeResourceName::Id(102), 1041);
  ASSERT_TRUE(dialog && manifest && update);
  EXPECT_EQ(Bytes(*dialog), kTestDialog);
  EXPECT_EQ(Bytes(*manifest), kTestManifest);
  EXPECT_EQ(manifest->codePage, 1252u);
  EXPECT_EQ(update->language, 1041);
  EXPECT_EQ(Bytes(*update), package);
  // Every data block lies on an 8-byte boundary inside the new section.
  for (const PeResource& r : back) {
    const size_t at = size_t(r.data - out.data());
    EXPECT_GE(at, rsrc.rawPointer);
    EXPECT_EQ((at - rsrc.rawPointer) % 8, 0u);
  }
}

TEST(PeResources, EmbeddingAgainReplacesThePackageAndGivesTheSameBytes) {
  const std::vector<uint8_t> image = BuildTestImage(StubLikeImage());
  const std::vector<uint8_t> big(70000, 0x11), small(3, 0x22);
  const std::vector<uint8_t> once = Embed(image, small);
  const std::vector<uint8_t> twice = Embed(Embed(image, big), small);
  EXPECT_EQ(twice, once);  // the same as a single embed into the stub
  std::vector<PeResource> back;
  ASSERT_EQ(ReadPeResources(twice.data(), twice.size(), &back), PeFault::None);
  EXPECT_EQ(back.size(), 3u);
  EXPECT_EQ(Bytes(*FindPeResource(back, kUpdate, PeResourceName::Id(102), 1041)), small);
  EXPECT_LT(twice.size(), Embed(image, big).size());
}

TEST(PeResources, AnImageWithoutResourcesGetsASection) {
  TestImageOptions options;
  options.sections.push_back({".text", std::vector<uint8_t>(0x10, 0x90), 0x60000020});
  const std::vector<uint8_t> image = BuildTestImage(options);
  const std::vector<uint8_t> package = {'Q', 'W', '2', 0};
  const std::vector<uint8_t> out = Embed(image, package);
  PeHeaders h;
  ASSERT_EQ(ParsePeHeaders(out.data(), out.size(), &h), PeFault::None);
  ASSERT_EQ(h.sections.size(), 2u);
  EXPECT_EQ(h.sections[1].virtualAddress, 2 * kTestSectionAlignment);
  std::vector<PeResource> back;
  ASSERT_EQ(ReadPeResources(out.data(), out.size(), &back), PeFault::None);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(Bytes(back[0]), package);

  // The 512 bytes of headers hold five section headers and no sixth.
  options.sections.assign(5, {".data", std::vector<uint8_t>(16, 1), 0xC0000040});
  Embed(BuildTestImage(options), package, PeFault::NoRoomForSection);
}

TEST(PeResources, RefusesWhatItCannotRewrite) {
  const std::vector<uint8_t> package(10, 1);
  Embed(std::vector<uint8_t>(300, 'M'), package, PeFault::NotExecutable);

  TestImageOptions options = StubLikeImage();
  options.machine = 0x8664;
  Embed(BuildTestImage(options), package, PeFault::NotPe32I386);
  options = StubLikeImage();
  options.optionalMagic = 0x20B;
  Embed(BuildTestImage(options), package, PeFault::NotPe32I386);

  options = StubLikeImage();
  options.certificate = true;
  Embed(BuildTestImage(options), package, PeFault::Signed);

  // Data after the resources, which code may address: it cannot move.
  options = StubLikeImage();
  options.relocationSection = -1;
  Embed(BuildTestImage(options), package, PeFault::ResourceNotLast);

  // Another table (the debug directory, 6) inside the resource section or
  // the relocations: neither can be rewritten or moved without breaking it.
  for (const size_t section : {1, 2}) {
    std::vector<uint8_t> image = BuildTestImage(StubLikeImage());
    const uint32_t rva = TestSectionRva(StubLikeImage(), section) + 8;
    const size_t debugEntry = 0x58 + 96 + 8 * 6;
    for (int i = 0; i < 4; ++i) image[debugEntry + i] = uint8_t(rva >> (8 * i));
    image[debugEntry + 4] = 4;
    Embed(image, package, section == 1 ? PeFault::SharedSection : PeFault::ResourceNotLast);
  }

  std::vector<uint8_t> trailing = BuildTestImage(StubLikeImage());
  trailing.push_back(0);
  Embed(trailing, package, PeFault::TrailingData);

  std::vector<uint8_t> cut = BuildTestImage(StubLikeImage());
  cut.resize(cut.size() - 1);  // the last section runs past the end
  Embed(cut, package, PeFault::BadHeaders);
}

TEST(PeResources, RefusesDamagedTrees) {
  const TestImageOptions options = StubLikeImage();
  const size_t rsrc = 0x200 + 0x400;  // file offset of the hand-made section
  const auto read = [](const std::vector<uint8_t>& image) {
    std::vector<PeResource> resources;
    return ReadPeResources(image.data(), image.size(), &resources);
  };
  std::vector<uint8_t> image = BuildTestImage(options);
  image[rsrc + 28] = 0xF0;  // type 5's directory far outside the section
  image[rsrc + 29] = 0xFF;
  EXPECT_EQ(read(image), PeFault::BadResourceTree);
  image = BuildTestImage(options);
  image[rsrc + 28] = 0;  // type 5 leads back to the root: a loop
  EXPECT_EQ(read(image), PeFault::BadResourceTree);
  image = BuildTestImage(options);
  image[rsrc + 56 + 1] = 0x7F;  // the dialog's data outside every section
  EXPECT_EQ(read(image), PeFault::BadResourceTree);
  image = BuildTestImage(options);
  // The dialog's data moved from offset 256 to 460, into the section's file
  // padding, which lies past its virtual size (448) and is not loaded.
  image[rsrc + 56] = 460 - 256;
  EXPECT_EQ(read(image), PeFault::BadResourceTree);
  image = BuildTestImage(options);
  image[rsrc + 14] = 0xFF;  // more root entries than the section holds
  image[rsrc + 15] = 0xFF;
  EXPECT_EQ(read(image), PeFault::BadResourceTree);
}

TEST(PeResources, ChecksumFoldsCarriesSkipsItsFieldAndAddsTheLength) {
  const uint8_t bytes[] = {0xFF, 0xFF, 0x02, 0x00, 0x03};
  EXPECT_EQ(PeChecksum(bytes, sizeof bytes, 100), 0x0002u + 3 + 5);
  const uint8_t withField[] = {0x01, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x02, 0x00};
  EXPECT_EQ(PeChecksum(withField, sizeof withField, 2), 1u + 2 + 8);
}

}  // namespace
