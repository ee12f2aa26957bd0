// Reading and rebuilding the resource section of a PE32 image. Every field
// is read byte by byte and checked against the image's end, since a stub
// given to updpack is foreign input.
#include "pack/pe_resources.h"

#include <algorithm>
#include <cstring>

#include "core/le.h"
#include "core/sjis.h"

namespace {

constexpr uint16_t kMachineI386 = 0x14C;
constexpr uint16_t kOptionalMagicPe32 = 0x10B;
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kDirectoryEntrySize = 8;
constexpr size_t kDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000u;
// Far more than any executable carries; it bounds the walk of a directory
// whose subdirectories are shared many times over.
constexpr size_t kMaxResourceEntries = 1u << 16;
constexpr uint32_t kResourceSectionFlags = 0x40000040;  // initialised, read
constexpr uint32_t kInitialisedDataFlag = 0x40;


bool IsPowerOfTwo(uint32_t v) { return v && !(v & (v - 1)); }
uint64_t AlignUp(uint64_t v, uint32_t alignment) {
  return (v + alignment - 1) & ~uint64_t(alignment - 1);
}

// The span of a section in the address space: its virtual size, or its raw
// size where a linker left the virtual size 0.
uint64_t SectionEnd(const PeSection& s) {
  return uint64_t(s.virtualAddress) + (s.virtualSize ? s.virtualSize : s.rawSize);
}

// The file bytes behind `length` bytes at `rva`, or null when they are not
// all inside one section's raw data.
const uint8_t* BytesAt(const uint8_t* image, const PeHeaders& headers,
                       uint32_t rva, uint32_t length, uint32_t* available) {
  for (const PeSection& s : headers.sections) {
    if (rva < s.virtualAddress) continue;
    // Raw bytes past the virtual size are not loaded.
    const uint32_t loaded =
        s.virtualSize ? std::min(s.rawSize, s.virtualSize) : s.rawSize;
    const uint64_t into = uint64_t(rva) - s.virtualAddress;
    if (into + length > loaded) continue;
    if (available) *available = uint32_t(loaded - into);
    return image + s.rawPointer + into;
  }
  return nullptr;
}

// The order of entries in a resource directory: names first, compared as
// upper case, then ids in ascending order.
bool NameBefore(const PeResourceName& a, const PeResourceName& b) {
  if (a.isId != b.isId) return !a.isId;
  if (a.isId) return a.id < b.id;
  return std::lexicographical_compare(
      a.text.begin(), a.text.end(), b.text.begin(), b.text.end(),
      [](char16_t x, char16_t y) { return FoldAscii(x) < FoldAscii(y); });
}

bool SameEntry(const PeResource& a, const PeResource& b) {
  return SamePeResourceName(a.type, b.type) &&
         SamePeResourceName(a.name, b.name) && a.language == b.language;
}

// Walks the three levels type, name, language of the resource directory.
class TreeReader {
 public:
  TreeReader(const uint8_t* image, const PeHeaders& headers,
             const uint8_t* root, uint32_t available,
             std::vector<PeResource>* out)
      : image_(image), headers_(headers), root_(root), available_(available),
        out_(out) {}

  PeFault Read() { return Directory(0, 0); }

 private:
  PeFault Directory(uint32_t offset, int level) {
    if (uint64_t(offset) + kDirectoryHeaderSize > available_) {
      return PeFault::BadResourceTree;
    }
    const uint8_t* dir = root_ + offset;
    const uint32_t count = uint32_t(LoadLe16(dir + 12)) + LoadLe16(dir + 14);
    if (uint64_t(offset) + kDirectoryHeaderSize +
            uint64_t(count) * kDirectoryEntrySize > available_) {
      return PeFault::BadResourceTree;
    }
    for (uint32_t i = 0; i < count; ++i) {
      if (++visited_ > kMaxResourceEntries) return PeFault::TooManyResources;
      const uint8_t* entry =
          dir + kDirectoryHeaderSize + size_t(i) * kDirectoryEntrySize;
      PeResourceName name;
      if (!Name(LoadLe32(entry), &name)) return PeFault::BadResourceTree;
      const uint32_t target = LoadLe32(entry + 4);
      const bool isDirectory = (target & kHighBit) != 0;
      // Types and names lead to directories, languages to data.
      if (isDirectory != (level < 2)) return PeFault::BadResourceTree;
      path_[level] = name;
      const PeFault fault = isDirectory
                                ? Directory(target & ~kHighBit, level + 1)
                                : Data(target);
      if (fault != PeFault::None) return fault;
    }
    return PeFault::None;
  }

  bool Name(uint32_t field, PeResourceName* name) {
    if (!(field & kHighBit)) {
      // Only the low 16 bits count as an id; the rest must be clear.
      if (field > 0xFFFF) return false;
      *name = PeResourceName::Id(uint16_t(field));
      return true;
    }
    const uint32_t offset = field & ~kHighBit;
    if (uint64_t(offset) + 2 > available_) return false;
    const uint32_t length = LoadLe16(root_ + offset);
    if (uint64_t(offset) + 2 + 2 * uint64_t(length) > available_) return false;
    name->isId = false;
    name->id = 0;
    name->text.resize(length);
    for (uint32_t i = 0; i < length; ++i) {
      name->text[i] = char16_t(LoadLe16(root_ + offset + 2 + 2 * i));
    }
    return true;
  }

  PeFault Data(uint32_t offset) {
    if (uint64_t(offset) + kDataEntrySize > available_) {
      return PeFault::BadResourceTree;
    }
    const uint8_t* entry = root_ + offset;
    PeResource resource;
    resource.type = path_[0];
    resource.name = path_[1];
    if (!path_[2].isId) return PeFault::BadResourceTree;  // languages are ids
    resource.language = path_[2].id;
    resource.size = LoadLe32(entry + 4);
    resource.codePage = LoadLe32(entry + 8);
    resource.data =
        resource.size ? BytesAt(image_, headers_, LoadLe32(entry), resource.size,
                                nullptr)
                      : image_;
    if (!resource.data) return PeFault::BadResourceTree;
    out_->push_back(std::move(resource));
    return PeFault::None;
  }

  const uint8_t* image_;
  const PeHeaders& headers_;
  const uint8_t* root_;
  uint32_t available_;
  std::vector<PeResource>* out_;
  PeResourceName path_[3];
  size_t visited_ = 0;
};

// The resource section's bytes for `resources` at address `rva`: the
// directories breadth first, the data entries, the names, then the data on
// 8-byte boundaries.
std::vector<uint8_t> BuildSection(std::vector<PeResource> resources,
                                  uint32_t rva) {
  std::stable_sort(resources.begin(), resources.end(),
                   [](const PeResource& a, const PeResource& b) {
                     if (NameBefore(a.type, b.type)) return true;
                     if (NameBefore(b.type, a.type)) return false;
                     if (NameBefore(a.name, b.name)) return true;
                     if (NameBefore(b.name, a.name)) return false;
                     return a.language < b.language;
                   });
  resources.erase(std::unique(resources.begin(), resources.end(), SameEntry),
                  resources.end());

  // Group boundaries: type groups, and name groups within them.
  struct Group {
    size_t first, last;  // resources [first, last)
  };
  std::vector<Group> types, names;
  for (size_t i = 0; i < resources.size(); ++i) {
    if (i == 0 || !SamePeResourceName(resources[i].type, resources[i - 1].type)) {
      types.push_back({i, i});
    }
    if (i == 0 || types.back().first == i ||
        !SamePeResourceName(resources[i].name, resources[i - 1].name)) {
      names.push_back({i, i});
    }
    types.back().last = names.back().last = i + 1;
  }

  const auto directorySize = [](size_t entries) {
    return kDirectoryHeaderSize + entries * kDirectoryEntrySize;
  };
  // Offsets of every directory, in the order they are written.
  size_t at = directorySize(types.size());
  std::vector<size_t> typeDirs, nameDirs;
  size_t nameIndex = 0;
  for (const Group& type : types) {
    typeDirs.push_back(at);
    size_t count = 0;
    for (size_t n = nameIndex; n < names.size() && names[n].first < type.last; ++n) ++count;
    at += directorySize(count);
    nameIndex += count;
  }
  for (const Group& name : names) {
    nameDirs.push_back(at);
    at += directorySize(name.last - name.first);
  }
  const size_t dataEntries = at;
  at += resources.size() * kDataEntrySize;
  std::vector<uint8_t> out(at);

  const auto putName = [&out](size_t entry, const PeResourceName& name) {
    if (name.isId) {
      StoreLe32(&out[entry], name.id);
      return;
    }
    const size_t offset = out.size();
    out.resize(offset + 2 + 2 * name.text.size());
    StoreLe16(&out[offset], uint16_t(name.text.size()));
    for (size_t i = 0; i < name.text.size(); ++i) {
      StoreLe16(&out[offset + 2 + 2 * i], name.text[i]);
    }
    StoreLe32(&out[entry], kHighBit | uint32_t(offset));
  };
  // Root: one entry per type.
  size_t namedTypes = 0;
  for (const Group& t : types) namedTypes += !resources[t.first].type.isId;
  StoreLe16(&out[12], uint16_t(namedTypes));
  StoreLe16(&out[14], uint16_t(types.size() - namedTypes));
  nameIndex = 0;
  for (size_t t = 0; t < types.size(); ++t) {
    const size_t entry = kDirectoryHeaderSize + t * kDirectoryEntrySize;
    putName(entry, resources[types[t].first].type);
    StoreLe32(&out[entry + 4], kHighBit | uint32_t(typeDirs[t]));
    // The type's directory: one entry per name.
    size_t first = nameIndex, named = 0;
    while (nameIndex < names.size() && names[nameIndex].first < types[t].last) {
      named += !resources[names[nameIndex].first].name.isId;
      ++nameIndex;
    }
    StoreLe16(&out[typeDirs[t] + 12], uint16_t(named));
    StoreLe16(&out[typeDirs[t] + 14], uint16_t(nameIndex - first - named));
    for (size_t n = first; n < nameIndex; ++n) {
      const size_t nameEntry =
          typeDirs[t] + kDirectoryHeaderSize + (n - first) * kDirectoryEntrySize;
      putName(nameEntry, resources[names[n].first].name);
      StoreLe32(&out[nameEntry + 4], kHighBit | uint32_t(nameDirs[n]));
    }
  }
  // The names' directories: one entry per language, leading to data.
  for (size_t n = 0; n < names.size(); ++n) {
    StoreLe16(&out[nameDirs[n] + 14], uint16_t(names[n].last - names[n].first));
    for (size_t r = names[n].first; r < names[n].last; ++r) {
      const size_t entry = nameDirs[n] + kDirectoryHeaderSize +
                           (r - names[n].first) * kDirectoryEntrySize;
      StoreLe32(&out[entry], resources[r].language);
      StoreLe32(&out[entry + 4], uint32_t(dataEntries + r * kDataEntrySize));
    }
  }
  // The data, each on an 8-byte boundary.
  for (size_t r = 0; r < resources.size(); ++r) {
    const size_t offset = AlignUp(out.size(), 8);
    out.resize(offset + resources[r].size);
    if (resources[r].size) {
      std::memcpy(&out[offset], resources[r].data, resources[r].size);
    }
    uint8_t* entry = &out[dataEntries + r * kDataEntrySize];
    StoreLe32(entry, rva + uint32_t(offset));
    StoreLe32(entry + 4, resources[r].size);
    StoreLe32(entry + 8, resources[r].codePage);
  }
  return out;
}

// True when one of the image's data directories other than those named
// points into [begin, end) of the address space.
bool DirectoryPointsInto(const uint8_t* image, const PeHeaders& headers,
                         uint64_t begin, uint64_t end, uint32_t except) {
  for (uint32_t i = 0; i < headers.directoryCount; ++i) {
    if (i == except || i == kPeResourceDirectory ||
        i == kPeCertificateDirectory) {
      continue;  // the certificate table is a file offset, not an address
    }
    const uint32_t rva = headers.DirectoryRva(i, image);
    const uint32_t size = headers.DirectorySize(i, image);
    if (rva == 0 && size == 0) continue;
    if (rva < end && uint64_t(rva) + size > begin) return true;
  }
  return false;
}

// Checks that the image's resources can be rewritten as the last section
// and finds `kept`, the number of sections before the resource section (all
// of them when there is none). The sections after it must be movable.
PeFault FindResourceSlot(const uint8_t* image, size_t size,
                         const PeHeaders& headers, size_t* kept) {
  if (headers.DirectoryRva(kPeCertificateDirectory, image) ||
      headers.DirectorySize(kPeCertificateDirectory, image)) {
    return PeFault::Signed;
  }
  if (headers.directoryCount <= kPeResourceDirectory) return PeFault::BadHeaders;
  // The old tree is read so that a damaged one is refused, not dropped.
  std::vector<PeResource> old;
  const PeFault fault = ReadPeResources(image, size, &old);
  if (fault != PeFault::None) return fault;

  const std::vector<PeSection>& sections = headers.sections;
  const uint32_t resourceRva = headers.DirectoryRva(kPeResourceDirectory, image);
  *kept = sections.size();
  if (resourceRva) {
    *kept = 0;
    while (*kept < sections.size() &&
           sections[*kept].virtualAddress != resourceRva) {
      ++*kept;
    }
    if (*kept == sections.size()) return PeFault::SharedSection;
    const PeSection& s = sections[*kept];
    if (DirectoryPointsInto(image, headers, s.virtualAddress, SectionEnd(s),
                            kPeResourceDirectory)) {
      return PeFault::SharedSection;
    }
  } else {
    // One more section header must fit before the first section's data.
    uint64_t room = headers.sizeOfHeaders;
    for (const PeSection& s : sections) {
      if (s.rawSize) room = std::min<uint64_t>(room, s.rawPointer);
    }
    if (sections.empty() ||
        headers.sectionTableOffset + (sections.size() + 1) * kSectionHeaderSize >
            room) {
      return PeFault::NoRoomForSection;
    }
  }
  // Only the base relocations may follow: nothing refers to their address
  // but their directory entry, so they can move.
  const uint32_t relocRva = headers.DirectoryRva(kPeBaseRelocationDirectory, image);
  for (size_t i = *kept + 1; i < sections.size(); ++i) {
    const PeSection& s = sections[i];
    if (s.virtualAddress != relocRva ||
        DirectoryPointsInto(image, headers, s.virtualAddress, SectionEnd(s),
                            kPeBaseRelocationDirectory)) {
      return PeFault::ResourceNotLast;
    }
  }
  uint64_t fileEnd = headers.sizeOfHeaders;
  for (const PeSection& s : sections) {
    if (s.rawSize) fileEnd = std::max<uint64_t>(fileEnd, uint64_t(s.rawPointer) + s.rawSize);
  }
  return size > fileEnd ? PeFault::TrailingData : PeFault::None;
}

}  // namespace

PeResourceName PeResourceName::Id(uint16_t id) {
  PeResourceName name;
  name.id = id;
  return name;
}

PeResourceName PeResourceName::Named(std::u16string_view text) {
  PeResourceName name;
  name.isId = false;
  name.text = text;
  return name;
}

bool SamePeResourceName(const PeResourceName& a, const PeResourceName& b) {
  if (a.isId != b.isId) return false;
  if (a.isId) return a.id == b.id;
  return std::equal(a.text.begin(), a.text.end(), b.text.begin(), b.text.end(),
                    [](char16_t x, char16_t y) {
                      return FoldAscii(x) == FoldAscii(y);
                    });
}

uint32_t PeHeaders::DirectoryRva(uint32_t index, const uint8_t* image) const {
  return index < directoryCount ? LoadLe32(image + directoriesOffset + 8 * index)
                                : 0;
}

uint32_t PeHeaders::DirectorySize(uint32_t index, const uint8_t* image) const {
  return index < directoryCount
             ? LoadLe32(image + directoriesOffset + 8 * index + 4)
             : 0;
}

PeFault ParsePeHeaders(const uint8_t* image, size_t size, PeHeaders* headers) {
  if (size < 64 || image[0] != 'M' || image[1] != 'Z') {
    return PeFault::NotExecutable;
  }
  const uint64_t pe = LoadLe32(image + 0x3C);
  if (pe + 24 > size || std::memcmp(image + pe, "PE\0\0", 4) != 0) {
    return PeFault::NotExecutable;
  }
  const uint8_t* file = image + pe + 4;
  const uint16_t sectionCount = LoadLe16(file + 2);
  const uint16_t optionalSize = LoadLe16(file + 16);
  const uint64_t optional = pe + 24;
  if (LoadLe16(file) != kMachineI386) return PeFault::NotPe32I386;
  if (optional + 2 > size) return PeFault::NotExecutable;
  if (LoadLe16(image + optional) != kOptionalMagicPe32) return PeFault::NotPe32I386;
  if (optionalSize < 96 || optional + optionalSize > size) {
    return PeFault::BadHeaders;
  }
  const uint8_t* opt = image + optional;
  headers->sectionAlignment = LoadLe32(opt + 32);
  headers->fileAlignment = LoadLe32(opt + 36);
  headers->sizeOfImage = LoadLe32(opt + 56);
  headers->sizeOfHeaders = LoadLe32(opt + 60);
  headers->checksumOffset = size_t(optional + 64);
  headers->directoriesOffset = size_t(optional + 96);
  headers->directoryCount =
      std::min<uint32_t>(LoadLe32(opt + 92), uint32_t(optionalSize - 96) / 8);
  headers->directoryCount = std::min<uint32_t>(headers->directoryCount, 16);
  headers->sectionTableOffset = size_t(optional + optionalSize);
  if (!IsPowerOfTwo(headers->sectionAlignment) ||
      !IsPowerOfTwo(headers->fileAlignment) ||
      headers->fileAlignment > headers->sectionAlignment) {
    return PeFault::BadHeaders;
  }
  const uint64_t tableEnd =
      headers->sectionTableOffset + uint64_t(sectionCount) * kSectionHeaderSize;
  if (headers->sizeOfHeaders > size || tableEnd > headers->sizeOfHeaders) {
    return PeFault::BadHeaders;
  }
  headers->sections.clear();
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const size_t at = headers->sectionTableOffset + i * kSectionHeaderSize;
    PeSection s{at, LoadLe32(image + at + 8), LoadLe32(image + at + 12),
                LoadLe32(image + at + 16), LoadLe32(image + at + 20)};
    if (s.rawSize && uint64_t(s.rawPointer) + s.rawSize > size) {
      return PeFault::BadHeaders;
    }
    // The loader wants sections above the headers, in ascending,
    // non-overlapping order.
    if (s.virtualAddress < headers->sizeOfHeaders ||
        (!headers->sections.empty() &&
         s.virtualAddress < SectionEnd(headers->sections.back()))) {
      return PeFault::BadHeaders;
    }
    headers->sections.push_back(s);
  }
  return PeFault::None;
}

PeFault ReadPeResources(const uint8_t* image, size_t size,
                        std::vector<PeResource>* resources) {
  resources->clear();
  PeHeaders headers;
  const PeFault fault = ParsePeHeaders(image, size, &headers);
  if (fault != PeFault::None) return fault;
  const uint32_t rva = headers.DirectoryRva(kPeResourceDirectory, image);
  if (rva == 0) return PeFault::None;
  uint32_t available = 0;
  const uint8_t* root =
      BytesAt(image, headers, rva, kDirectoryHeaderSize, &available);
  if (!root) return PeFault::BadResourceTree;
  return TreeReader(image, headers, root, available, resources).Read();
}

const PeResource* FindPeResource(const std::vector<PeResource>& resources,
                                 const PeResourceName& type,
                                 const PeResourceName& name,
                                 uint16_t language) {
  const PeResource* first = nullptr;
  for (const PeResource& r : resources) {
    if (!SamePeResourceName(r.type, type) || !SamePeResourceName(r.name, name)) {
      continue;
    }
    if (r.language == language) return &r;
    if (!first) first = &r;
  }
  return first;
}

void PutPeResource(std::vector<PeResource>* resources,
                   const PeResource& resource) {
  for (PeResource& r : *resources) {
    if (SameEntry(r, resource)) {
      r = resource;
      return;
    }
  }
  resources->push_back(resource);
}

PeFault WritePeResources(const uint8_t* image, size_t size,
                         const std::vector<PeResource>& resources,
                         std::vector<uint8_t>* output) {
  output->clear();
  PeHeaders headers;
  PeFault fault = ParsePeHeaders(image, size, &headers);
  if (fault != PeFault::None) return fault;
  // A directory counts its entries in 16 bits.
  if (resources.size() > 0xFFFF) return PeFault::TooManyResources;
  size_t kept = 0;
  fault = FindResourceSlot(image, size, headers, &kept);
  if (fault != PeFault::None) return fault;

  const std::vector<PeSection>& sections = headers.sections;
  uint64_t keptEnd = headers.sizeOfHeaders;
  for (size_t i = 0; i < kept; ++i) {
    if (sections[i].rawSize) {
      keptEnd = std::max<uint64_t>(keptEnd, uint64_t(sections[i].rawPointer) +
                                                sections[i].rawSize);
    }
  }
  uint64_t nextRva = kept < sections.size()
                         ? sections[kept].virtualAddress
                         : AlignUp(SectionEnd(sections.back()),
                                   headers.sectionAlignment);
  uint64_t nextRaw = AlignUp(keptEnd, headers.fileAlignment);

  // The headers and the kept sections' data, byte for byte.
  std::vector<uint8_t> out(image, image + keptEnd);
  // Section table slots from `kept` on are rewritten in the new order.
  size_t slot = kept;
  const auto headerAt = [&](size_t index) {
    return &out[headers.sectionTableOffset + index * kSectionHeaderSize];
  };
  for (size_t i = kept + 1; i < sections.size(); ++i) {
    const PeSection& s = sections[i];
    uint8_t header[kSectionHeaderSize];
    std::memcpy(header, image + s.headerOffset, kSectionHeaderSize);
    StoreLe32(header + 12, uint32_t(nextRva));
    StoreLe32(header + 20, s.rawSize ? uint32_t(nextRaw) : 0);
    std::memcpy(headerAt(slot++), header, kSectionHeaderSize);
    StoreLe32(&out[headers.directoriesOffset + 8 * kPeBaseRelocationDirectory],
          uint32_t(nextRva));
    if (s.rawSize) {
      out.resize(nextRaw, 0);
      out.insert(out.end(), image + s.rawPointer, image + s.rawPointer + s.rawSize);
      nextRaw = AlignUp(out.size(), headers.fileAlignment);
    }
    nextRva = AlignUp(SectionEnd(s) - s.virtualAddress + nextRva,
                      headers.sectionAlignment);
  }

  const std::vector<uint8_t> section = BuildSection(resources, uint32_t(nextRva));
  const uint64_t rawSize = AlignUp(section.size(), headers.fileAlignment);
  const uint64_t imageSize =
      AlignUp(nextRva + section.size(), headers.sectionAlignment);
  if (nextRaw + rawSize > 0x7FFFFFFFu || imageSize > 0x7FFFFFFFu) {
    return PeFault::TooLarge;
  }
  uint8_t header[kSectionHeaderSize] = {'.', 'r', 's', 'r', 'c'};
  uint32_t oldRawSize = 0;
  if (kept < sections.size()) {
    std::memcpy(header, image + sections[kept].headerOffset, kSectionHeaderSize);
    oldRawSize = sections[kept].rawSize;
  } else {
    StoreLe32(header + 36, kResourceSectionFlags);
  }
  StoreLe32(header + 8, uint32_t(section.size()));
  StoreLe32(header + 12, uint32_t(nextRva));
  StoreLe32(header + 16, uint32_t(rawSize));
  StoreLe32(header + 20, uint32_t(nextRaw));
  std::memset(header + 24, 0, 12);  // no relocations or line numbers
  std::memcpy(headerAt(slot), header, kSectionHeaderSize);
  out.resize(nextRaw, 0);
  out.insert(out.end(), section.begin(), section.end());
  out.resize(nextRaw + rawSize, 0);

  uint8_t* optional = &out[headers.checksumOffset - 64];
  if (kept == sections.size()) {
    // The file header's section count sits 18 bytes before the optional one.
    StoreLe16(optional - 18, uint16_t(sections.size() + 1));
  }
  if (LoadLe32(header + 36) & kInitialisedDataFlag) {
    StoreLe32(optional + 8, LoadLe32(optional + 8) - oldRawSize + uint32_t(rawSize));
  }
  StoreLe32(optional + 56, uint32_t(imageSize));
  StoreLe32(&out[headers.directoriesOffset + 8 * kPeResourceDirectory],
        uint32_t(nextRva));
  StoreLe32(&out[headers.directoriesOffset + 8 * kPeResourceDirectory + 4],
        uint32_t(section.size()));
  StoreLe32(&out[headers.checksumOffset],
        PeChecksum(out.data(), out.size(), headers.checksumOffset));
  *output = std::move(out);
  return PeFault::None;
}

uint32_t PeChecksum(const uint8_t* image, size_t size, size_t checksumOffset) {
  const auto byteAt = [&](size_t i) -> uint32_t {
    return i >= checksumOffset && i < checksumOffset + 4 ? 0 : image[i];
  };
  uint32_t sum = 0;
  for (size_t i = 0; i < size; i += 2) {
    sum += byteAt(i) | (i + 1 < size ? byteAt(i + 1) << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return uint32_t((sum & 0xFFFF) + (sum >> 16) + size);
}
