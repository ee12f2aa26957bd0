// The resources of a 32-bit Windows executable (PE32, i386), read and
// rewritten from its bytes alone: updpack puts the package into the updater
// stub on any system, without the Windows resource functions.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A resource type or name: an integer id, or a name in UTF-16.
struct PeResourceName {
  bool isId = true;
  uint16_t id = 0;
  std::u16string text;

  static PeResourceName Id(uint16_t id);
  static PeResourceName Named(std::u16string_view text);
};

// Names compare as the resource lookup compares them: ASCII letters in
// either case.
bool SamePeResourceName(const PeResourceName& a, const PeResourceName& b);

struct PeResource {
  PeResourceName type;
  PeResourceName name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  const uint8_t* data = nullptr;  // into the image read, or the caller's bytes
  uint32_t size = 0;
};

enum class PeFault {
  None,
  NotExecutable,     // no MZ and PE signatures, or headers cut short
  NotPe32I386,       // another machine, or a 64-bit image
  BadHeaders,        // section table or alignments out of order or outside
  Signed,            // a certificate table (an embedded signature)
  BadResourceTree,   // the resource directory lies outside or is not the
                     // usual three levels of type, name and language
  TooManyResources,
  SharedSection,     // the resources share their section with other data
  ResourceNotLast,   // sections after the resources that cannot be moved
  NoRoomForSection,  // no resource section and no room for one more header
  TrailingData,      // bytes after the last section (symbols, appended data)
  TooLarge,          // the result would not fit the format's offsets
};

// Where the headers of an image put things, after the checks that
// ParsePeHeaders makes.
struct PeSection {
  size_t headerOffset;  // of its 40-byte entry in the section table
  uint32_t virtualSize, virtualAddress, rawSize, rawPointer;
};
struct PeHeaders {
  size_t checksumOffset;
  size_t sectionTableOffset;
  size_t directoriesOffset;
  uint32_t directoryCount;
  uint32_t sectionAlignment, fileAlignment, sizeOfImage, sizeOfHeaders;
  std::vector<PeSection> sections;  // in address order

  uint32_t DirectoryRva(uint32_t index, const uint8_t* image) const;
  uint32_t DirectorySize(uint32_t index, const uint8_t* image) const;
};

// Resource types by id.
constexpr uint16_t kPeTypeIcon = 3;
constexpr uint16_t kPeTypeGroupIcon = 14;
constexpr uint16_t kPeTypeVersion = 16;

constexpr uint32_t kPeResourceDirectory = 2;
constexpr uint32_t kPeCertificateDirectory = 4;
constexpr uint32_t kPeBaseRelocationDirectory = 5;

PeFault ParsePeHeaders(const uint8_t* image, size_t size, PeHeaders* headers);

// Every resource of the image, in the order of its directory. An image
// without resources gives an empty list.
PeFault ReadPeResources(const uint8_t* image, size_t size,
                        std::vector<PeResource>* resources);

// The resource the way the updater's lookup names it (no language): the one
// of `language` when there is one, otherwise the first. Null when none.
const PeResource* FindPeResource(const std::vector<PeResource>& resources,
                                 const PeResourceName& type,
                                 const PeResourceName& name,
                                 uint16_t language);

// Replaces the resource of the same type, name and language, or adds it.
void PutPeResource(std::vector<PeResource>* resources,
                   const PeResource& resource);

// A copy of the image whose resources are exactly `resources`, in a
// resource section placed last; a base relocation section that followed the
// old one moves in front of it. Everything else keeps its bytes; the image
// size, the resource directory entry and the header checksum are updated.
PeFault WritePeResources(const uint8_t* image, size_t size,
                         const std::vector<PeResource>& resources,
                         std::vector<uint8_t>* output);

// The header checksum of the image as the system computes it: 16-bit sums
// with the carry folded back, the checksum field counted as zero, plus the
// file's length.
uint32_t PeChecksum(const uint8_t* image, size_t size, size_t checksumOffset);
