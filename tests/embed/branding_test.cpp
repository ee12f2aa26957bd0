// The icon and version resources updpack gives an updater: .ico files read
// into images and their group, damaged ones refused with the reason, and
// the version record read back node by node as the system walks it.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "pack/icon_resources.h"
#include "pack/version_record.h"

namespace {

void Put16(std::vector<uint8_t>* v, size_t at, uint32_t value) {
  (*v)[at] = uint8_t(value);
  (*v)[at + 1] = uint8_t(value >> 8);
}
void Put32(std::vector<uint8_t>* v, size_t at, uint32_t value) {
  Put16(v, at, value & 0xFFFF);
  Put16(v, at + 2, value >> 16);
}
uint32_t Get16(const std::vector<uint8_t>& v, size_t at) {
  return v.at(at) | v.at(at + 1) << 8;
}
uint32_t Get32(const std::vector<uint8_t>& v, size_t at) {
  return Get16(v, at) | Get16(v, at + 2) << 16;
}

// ---- .ico files, made byte by byte ------------------------------------------

// An uncompressed bitmap image as icons store it: its header with the
// doubled height, the palette, the colour rows and the mask rows.
std::vector<uint8_t> BitmapImage(uint32_t size, uint16_t bits) {
  const uint32_t palette = bits <= 8 ? 4u << bits : 0;
  const uint32_t colourRow = (size * bits + 31) / 32 * 4;
  const uint32_t maskRow = (size + 31) / 32 * 4;
  std::vector<uint8_t> image(40 + palette + size * (colourRow + maskRow));
  Put32(&image, 0, 40);
  Put32(&image, 4, size);
  Put32(&image, 8, 2 * size);
  Put16(&image, 12, 1);
  Put16(&image, 14, bits);
  for (size_t i = 40; i < image.size(); ++i) image[i] = uint8_t(i * 13);
  return image;
}

// A PNG as far as the reader looks: the signature and the header chunk of
// an RGBA image, then some bytes.
std::vector<uint8_t> PngImage(uint32_t size) {
  std::vector<uint8_t> image = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                                0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  for (int shift = 24; shift >= 0; shift -= 8) image.push_back(uint8_t(size >> shift));
  for (int shift = 24; shift >= 0; shift -= 8) image.push_back(uint8_t(size >> shift));
  image.insert(image.end(), {8, 6, 0, 0, 0});
  image.insert(image.end(), 40, 0xAB);
  return image;
}

struct IcoImage {
  std::vector<uint8_t> bytes;
  uint8_t width, height;  // as the directory says them, 0 for 256
};

// The .ico file: header, directory with zero planes and depth (as many
// files have them), the images one after the other.
std::vector<uint8_t> IcoFile(const std::vector<IcoImage>& images) {
  std::vector<uint8_t> file(6 + 16 * images.size());
  Put16(&file, 2, 1);
  Put16(&file, 4, uint32_t(images.size()));
  for (size_t i = 0; i < images.size(); ++i) {
    const size_t entry = 6 + 16 * i;
    file[entry] = images[i].width;
    file[entry + 1] = images[i].height;
    file[entry + 2] = images[i].width == 32 ? 16 : 0;  // a colour count, kept
    Put32(&file, entry + 8, uint32_t(images[i].bytes.size()));
    Put32(&file, entry + 12, uint32_t(file.size()));
    file.insert(file.end(), images[i].bytes.begin(), images[i].bytes.end());
  }
  return file;
}

std::vector<uint8_t> ThreeImageIco() {
  return IcoFile({{BitmapImage(16, 32), 16, 16},
                  {BitmapImage(32, 4), 32, 32},
                  {PngImage(256), 0, 0}});
}

TEST(IconFile, EveryImageBecomesAnIconAndTheDirectoryTheirGroup) {
  const std::vector<uint8_t> file = ThreeImageIco();
  IconImages icon;
  std::string fault;
  ASSERT_TRUE(ReadIconFile(file.data(), file.size(), &icon, &fault)) << fault;
  ASSERT_EQ(icon.images.size(), 3u);
  EXPECT_EQ(icon.images[0], BitmapImage(16, 32));
  EXPECT_EQ(icon.images[1], BitmapImage(32, 4));
  EXPECT_EQ(icon.images[2], PngImage(256));

  const std::vector<uint8_t>& group = icon.group;
  ASSERT_EQ(group.size(), 6u + 3 * 14);
  EXPECT_EQ(Get16(group, 0), 0u);
  EXPECT_EQ(Get16(group, 2), 1u);
  EXPECT_EQ(Get16(group, 4), 3u);
  // width, height, colours, planes, bits per pixel (from the image), bytes, id
  const uint32_t expected[3][7] = {
      {16, 16, 0, 1, 32, uint32_t(icon.images[0].size()), 1},
      {32, 32, 16, 1, 4, uint32_t(icon.images[1].size()), 2},
      {0, 0, 0, 1, 32, uint32_t(icon.images[2].size()), 3}};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE("entry " + std::to_string(i));
    const size_t at = 6 + 14 * i;
    EXPECT_EQ(group[at], expected[i][0]);
    EXPECT_EQ(group[at + 1], expected[i][1]);
    EXPECT_EQ(group[at + 2], expected[i][2]);
    EXPECT_EQ(group[at + 3], 0u);
    EXPECT_EQ(Get16(group, at + 4), expected[i][3]);
    EXPECT_EQ(Get16(group, at + 6), expected[i][4]);
    EXPECT_EQ(Get32(group, at + 8), expected[i][5]);
    EXPECT_EQ(Get16(group, at + 12), expected[i][6]);
  }
}

// Each damage names itself; nothing is read from a refused file.
TEST(IconFile, DamagedOrUnsupportedFilesAreRefusedSayingWhy) {
  const std::vector<uint8_t> good = ThreeImageIco();
  const size_t firstImage = 6 + 3 * 16;
  const size_t pngAt = good.size() - PngImage(256).size();
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    const char* reason;
  };
  std::vector<Case> cases;
  const auto changed = [&](const char* what, size_t at, std::vector<uint8_t> bytes,
                           const char* reason) {
    std::vector<uint8_t> file = good;
    std::copy(bytes.begin(), bytes.end(), file.begin() + at);
    cases.push_back({what, file, reason});
  };
  cases.push_back({"five bytes", {0, 0, 1, 0, 1}, "too short for an icon file (5 bytes)"});
  changed("a cursor", 2, {2}, "it is a cursor, not an icon");
  changed("a bitmap file", 0, {'B', 'M'}, "not an icon file");
  changed("no images", 4, {0}, "it holds no image");
  changed("a directory longer than the file", 4, {0xFF}, "its directory of 255 images runs past the end");
  changed("an empty image", 6 + 8, {0, 0, 0, 0}, "image 1 (16x16): it is empty");
  changed("an image inside the directory", 6 + 16 + 12, {10, 0, 0, 0},
          "image 2 (32x32): its 744 bytes at offset 10 lie outside the images");
  cases.push_back({"a file cut short", std::vector<uint8_t>(good.begin(), good.end() - 1),
                   "image 3 (256x256): its 69 bytes at offset"});
  changed("a bitmap compressed", firstImage + 16, {1}, "image 1 (16x16): its bitmap is compressed (method 1)");
  changed("a bitmap with a bigger header", firstImage, {108}, "image 1 (16x16): it is neither a PNG nor a bitmap");
  changed("3 bits per pixel", firstImage + 14, {3}, "its bitmap has 1 planes of 3 bits per pixel");
  changed("a bitmap narrower than its entry", firstImage + 4, {15}, "image 1 (16x16): its bitmap is 15x16");
  changed("a mask missing", firstImage + 8, {31}, "its bitmap's size 16x31 is not that of an icon");
  {
    // A 4-bit image whose entry gives it fewer bytes than its rows take.
    std::vector<uint8_t> file = good;
    Put32(&file, 6 + 16 + 8, Get32(good, 6 + 16 + 8) - 1);
    cases.push_back({"a bitmap cut short", file,
                     "image 2 (32x32): its bitmap needs 744 bytes, the file gives it 743"});
  }
  changed("a PNG of another size", pngAt + 16, {0, 0, 0, 128}, "image 3 (256x256): its PNG is 128x256");
  changed("a PNG without its header chunk", pngAt + 12, {'I', 'D', 'A', 'T'}, "image 3 (256x256): its PNG is cut short");
  changed("a PNG of an unknown colour type", pngAt + 25, {5}, "its PNG has an unknown colour type 5");

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    IconImages icon;
    icon.group = {1};
    std::string fault;
    EXPECT_FALSE(ReadIconFile(c.file.data(), c.file.size(), &icon, &fault));
    EXPECT_NE(fault.find(c.reason), std::string::npos) << fault;
    EXPECT_TRUE(icon.images.empty());
  }
}

TEST(IconFile, ReplacesTheIconsTheResourcesHeld) {
  const std::vector<uint8_t> old = {1, 2, 3};
  std::vector<PeResource> resources;
  const auto add = [&](uint16_t type, uint16_t id) {
    PeResource r;
    r.type = PeResourceName::Id(type);
    r.name = PeResourceName::Id(id);
    r.language = 1033;
    r.data = old.data();
    r.size = uint32_t(old.size());
    resources.push_back(r);
  };
  add(5, 101);
  for (uint16_t id : {1, 2, 7}) add(kPeTypeIcon, id);
  add(kPeTypeGroupIcon, 9);
  const std::vector<uint8_t> file = IcoFile({{BitmapImage(48, 8), 48, 48}});
  IconImages icon;
  std::string fault;
  ASSERT_TRUE(ReadIconFile(file.data(), file.size(), &icon, &fault)) << fault;
  PutIconResources(&resources, icon, 1041);

  std::map<std::pair<uint16_t, uint16_t>, const PeResource*> byTypeAndId;
  for (const PeResource& r : resources) byTypeAndId[{r.type.id, r.name.id}] = &r;
  ASSERT_EQ(resources.size(), 3u);
  ASSERT_TRUE(byTypeAndId.count({5, 101}));
  const PeResource* image = byTypeAndId[{kPeTypeIcon, 1}];
  const PeResource* group = byTypeAndId[{kPeTypeGroupIcon, 1}];
  ASSERT_TRUE(image && group);
  EXPECT_EQ(image->language, 1041);
  EXPECT_EQ(std::vector<uint8_t>(image->data, image->data + image->size), BitmapImage(48, 8));
  EXPECT_EQ(std::vector<uint8_t>(group->data, group->data + group->size), icon.group);
}

// ---- The version record -------------------------------------------------------

// One node as the system's version functions walk it.
struct Node {
  std::u16string key;
  uint16_t type = 0;
  std::vector<uint8_t> value;
  std::vector<Node> children;
};

std::u16string TextAt(const std::vector<uint8_t>& v, size_t at) {
  std::u16string text;
  for (; Get16(v, at) != 0; at += 2) text += char16_t(Get16(v, at));
  return text;
}

size_t Align4(size_t at) { return (at + 3) & ~size_t(3); }

// Reads the node at `at`; every length must agree with where its parts end.
Node ReadNode(const std::vector<uint8_t>& v, size_t at, size_t* end) {
  Node node;
  const size_t length = Get16(v, at);
  const size_t valueLength = Get16(v, at + 2);
  node.type = uint16_t(Get16(v, at + 4));
  node.key = TextAt(v, at + 6);
  size_t p = Align4(at + 6 + 2 * (node.key.size() + 1));
  const size_t valueBytes = node.type == 1 ? 2 * valueLength : valueLength;
  node.value.assign(v.begin() + p, v.begin() + p + valueBytes);
  p += valueBytes;
  *end = at + length;
  EXPECT_LE(*end, v.size());
  while (Align4(p) < *end) {
    size_t childEnd = 0;
    node.children.push_back(ReadNode(v, Align4(p), &childEnd));
    p = childEnd;
  }
  EXPECT_EQ(p, *end) << "node " << std::string(node.key.begin(), node.key.end());
  return node;
}

std::u16string ValueText(const Node& node) {
  std::u16string text;
  for (size_t i = 0; i + 1 < node.value.size(); i += 2) {
    text += char16_t(Get16(node.value, i));
  }
  EXPECT_FALSE(text.empty() || text.back() != u'\0') << "no terminator";
  if (!text.empty()) text.pop_back();
  return text;
}

TEST(VersionRecord, EveryFieldReadsBackAsTheSystemWalksIt) {
  VersionRecord record;
  record.companyName = u"ケーエス工房";
  record.fileDescription = u"星の物語 アップデータ";
  record.fileVersion = u"1.02 改";
  record.originalFilename = u"Update.exe";
  record.productName = u"星の物語";
  record.productVersion = u"";
  const uint16_t fileNumbers[4] = {1, 2, 0, 0};
  const uint16_t productNumbers[4] = {65535, 0, 3, 40000};
  std::memcpy(record.fileVersionNumbers, fileNumbers, sizeof fileNumbers);
  std::memcpy(record.productVersionNumbers, productNumbers, sizeof productNumbers);
  const std::vector<uint8_t> bytes = BuildVersionRecord(record);
  ASSERT_FALSE(bytes.empty());

  size_t end = 0;
  const Node root = ReadNode(bytes, 0, &end);
  EXPECT_EQ(end, bytes.size());
  EXPECT_EQ(root.key, u"VS_VERSION_INFO");
  EXPECT_EQ(root.type, 0);
  ASSERT_EQ(root.value.size(), 52u);
  EXPECT_EQ(Get32(root.value, 0), 0xFEEF04BDu);
  EXPECT_EQ(Get32(root.value, 8), 0x00010002u);   // file 1.2
  EXPECT_EQ(Get32(root.value, 12), 0x00000000u);  // .0.0
  EXPECT_EQ(Get32(root.value, 16), 0xFFFF0000u);  // product 65535.0
  EXPECT_EQ(Get32(root.value, 20), 0x00039C40u);  // .3.40000
  EXPECT_EQ(Get32(root.value, 32), 0x00040004u);  // for Windows NT
  EXPECT_EQ(Get32(root.value, 36), 1u);           // an application
  EXPECT_EQ(Get32(root.value, 44), 0u);           // no date
  EXPECT_EQ(Get32(root.value, 48), 0u);

  ASSERT_EQ(root.children.size(), 2u);
  const Node& strings = root.children[0];
  EXPECT_EQ(strings.key, u"StringFileInfo");
  ASSERT_EQ(strings.children.size(), 1u);
  EXPECT_EQ(strings.children[0].key, u"041104b0");
  std::map<std::u16string, std::u16string> fields;
  for (const Node& field : strings.children[0].children) {
    EXPECT_EQ(field.type, 1);
    fields[field.key] = ValueText(field);
  }
  const std::map<std::u16string, std::u16string> expected = {
      {u"CompanyName", u"ケーエス工房"},
      {u"FileDescription", u"星の物語 アップデータ"},
      {u"FileVersion", u"1.02 改"},
      {u"OriginalFilename", u"Update.exe"},
      {u"ProductName", u"星の物語"},
      {u"ProductVersion", u""}};
  EXPECT_TRUE(fields == expected);

  const Node& vars = root.children[1];
  EXPECT_EQ(vars.key, u"VarFileInfo");
  ASSERT_EQ(vars.children.size(), 1u);
  EXPECT_EQ(vars.children[0].key, u"Translation");
  EXPECT_EQ(vars.children[0].value, (std::vector<uint8_t>{0x11, 0x04, 0xB0, 0x04}));
}

TEST(VersionRecord, TextsTooLongForItsLengthsGiveNoRecord) {
  VersionRecord record;
  record.companyName.assign(20000, u'x');
  EXPECT_FALSE(BuildVersionRecord(record).empty());
  record.productName.assign(20000, u'y');
  EXPECT_TRUE(BuildVersionRecord(record).empty());
}

TEST(VersionRecord, NumbersComeFromTheLeadingNumbersOfTheText) {
  const struct {
    const char* text;
    uint16_t numbers[4];
  } cases[] = {
      {"1.02", {1, 2, 0, 0}},
      {"2.0.1 beta", {2, 0, 1, 0}},
      {"1.2.3.4.5", {1, 2, 3, 4}},
      {"3..4", {3, 0, 0, 0}},
      {"Ver 2.1", {0, 0, 0, 0}},
      {"", {0, 0, 0, 0}},
      {"65535.7", {65535, 7, 0, 0}},
      {"\x83\x6F\x81\x5B\x83\x57\x83\x87\x83\x93 1", {0, 0, 0, 0}},  // Shift-JIS
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    uint16_t numbers[4] = {9, 9, 9, 9};
    std::string fault;
    EXPECT_TRUE(ParseVersionNumbers(c.text, numbers, &fault)) << fault;
    EXPECT_EQ(std::vector<uint16_t>(numbers, numbers + 4),
              std::vector<uint16_t>(c.numbers, c.numbers + 4));
  }
  uint16_t numbers[4];
  std::string fault;
  EXPECT_FALSE(ParseVersionNumbers("1.65536", numbers, &fault));
  EXPECT_EQ(fault, "its number 2 is more than a version field holds (65535)");
}

}  // namespace
