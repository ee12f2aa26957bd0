// Lays out a package: header, entry data in directory order on 16-byte
// boundaries, then the directory, plain or as one block.
#include "pack/package_writer.h"

#include <cstring>
#include <utility>

#include "core/package_format.h"

namespace {

constexpr uint64_t kMaxPackageSize = 0xFFFFFFFFu;

bool NameFits(const std::string& name) {
  return !name.empty() && name.size() < kEntryNameSize &&
         name.find('\0') == std::string::npos;
}

// The 280-byte directory record of one entry.
void PutRecord(uint8_t* record, const PackageInput& input, uint32_t flags,
               uint32_t storedSize) {
  PackageEntry entry = {};
  input.name.copy(entry.Name, input.name.size());
  entry.Flags = flags;
  entry.LastWriteTime = input.lastWriteTime;
  entry.FileSize = static_cast<uint32_t>(input.data.size());
  entry.StoredSize = storedSize;
  WritePackageEntry(entry, record);
}

}  // namespace

PackageWriteStatus CheckPackageInputs(const std::vector<PackageInput>& inputs) {
  for (size_t i = 0; i < inputs.size(); ++i) {
    if (!NameFits(inputs[i].name)) return {PackageWriteResult::BadName, i};
    if (inputs[i].data.size() > kMaxPackageSize) {
      return {PackageWriteResult::EntryTooLarge, i};
    }
  }
  return {PackageWriteResult::Ok, 0};
}

EncodedEntry EncodeEntry(const PackageInput& input, CompressLevel level) {
  EncodedEntry encoded;
  if (input.storage == EntryStorage::Stored) return encoded;
  encoded.block = CompressBlock(input.data.data(), input.data.size(), level);
  encoded.compressed = input.storage == EntryStorage::Compressed ||
                       encoded.block.size() < input.data.size();
  if (!encoded.compressed) encoded.block = {};
  return encoded;
}

PackageWriteStatus LayOutPackage(const std::vector<PackageInput>& inputs,
                                 std::vector<EncodedEntry> encoded,
                                 const PackageOptions& options,
                                 std::vector<uint8_t>* image) {
  image->clear();
  const PackageWriteStatus checked = CheckPackageInputs(inputs);
  if (checked.result != PackageWriteResult::Ok) return checked;

  // Room for the whole image at once: growing it would copy it over and
  // over and hold two copies at the end.
  uint64_t room = kPackageHeaderSize + uint64_t{inputs.size()} * kPackageEntrySize;
  for (size_t i = 0; i < inputs.size(); ++i) {
    const size_t size = encoded[i].compressed ? encoded[i].block.size() : inputs[i].data.size();
    room += (uint64_t{size} + 15) & ~uint64_t{15};
  }
  std::vector<uint8_t> out;
  if (room <= kMaxPackageSize) out.reserve(static_cast<size_t>(room));
  out.resize(kPackageHeaderSize, 0);
  std::vector<uint8_t> directory(inputs.size() * kPackageEntrySize);
  for (size_t i = 0; i < inputs.size(); ++i) {
    const PackageInput& input = inputs[i];
    const bool compressed = encoded[i].compressed;
    const std::vector<uint8_t>& stored = compressed ? encoded[i].block : input.data;
    // Checked before appending so a too-large package is never built in full.
    const uint64_t end = AlignPackageOffset(uint64_t{out.size()} + stored.size());
    if (end > kMaxPackageSize) return {PackageWriteResult::PackageTooLarge, i};
    PutRecord(directory.data() + i * kPackageEntrySize, input,
              compressed ? kEntryFlagCompressed : kEntryFlagStored,
              static_cast<uint32_t>(stored.size()));
    out.insert(out.end(), stored.begin(), stored.end());
    out.resize(static_cast<size_t>(end), 0);
    encoded[i].block = {};
  }

  const uint64_t directoryOffset = out.size();
  uint32_t flags = 0;
  if (options.compressDirectory) {
    const std::vector<uint8_t> block =
        CompressBlock(directory.data(), directory.size(), options.level);
    out.insert(out.end(), block.begin(), block.end());
    flags = kHeaderFlagCompressedDirectory;
  } else {
    out.insert(out.end(), directory.begin(), directory.end());
  }
  if (out.size() > kMaxPackageSize) {
    return {PackageWriteResult::PackageTooLarge, inputs.size()};
  }

  WritePackageHeader({kPackageMagic, flags,
                      static_cast<uint32_t>(directoryOffset),
                      static_cast<uint32_t>(inputs.size())},
                     out.data());
  *image = std::move(out);
  return {PackageWriteResult::Ok, 0};
}

PackageWriteStatus BuildPackage(const std::vector<PackageInput>& inputs,
                                const PackageOptions& options,
                                std::vector<uint8_t>* image) {
  image->clear();
  const PackageWriteStatus checked = CheckPackageInputs(inputs);
  if (checked.result != PackageWriteResult::Ok) return checked;
  std::vector<EncodedEntry> encoded;
  encoded.reserve(inputs.size());
  for (const PackageInput& input : inputs) {
    encoded.push_back(EncodeEntry(input, options.level));
  }
  return LayOutPackage(inputs, std::move(encoded), options, image);
}
