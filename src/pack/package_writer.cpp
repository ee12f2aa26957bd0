// Lays out a package: header, entry data in directory order on 16-byte
// boundaries, then the directory, plain or as one block.
#include "pack/package_writer.h"

#include <cstring>
#include <utility>

#include "core/le.h"
#include "core/package_format.h"
#include "core/patch_entry.h"
#include "pack/integrity_record.h"
#include "pack/patch_builder.h"

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

namespace {

// The data of a patch entry (core/patch_entry.h) for `input`, from one patch
// per distinct old version, and `whole` when it is to be kept.
std::vector<uint8_t> PatchEntryData(const PackageInput& input,
                                    const std::vector<const std::vector<uint8_t>*>& olds,
                                    const std::vector<std::vector<uint8_t>>& patches,
                                    const EncodedEntry* whole) {
  const uint32_t n = static_cast<uint32_t>(olds.size());
  std::vector<uint8_t> out(kPatchEntryHeaderSize + size_t{kPatchVersionSize} * n);
  const Crc32Table& crc = Crc32Tables();
  StoreLe32(out.data(), Crc32(crc, 0, input.data.data(), input.data.size()));
  StoreLe32(out.data() + 4, n);
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t* record = out.data() + kPatchEntryHeaderSize + i * kPatchVersionSize;
    StoreLe32(record, static_cast<uint32_t>(olds[i]->size()));
    StoreLe32(record + 4, Crc32(crc, 0, olds[i]->data(), olds[i]->size()));
    StoreLe32(record + 8, static_cast<uint32_t>(patches[i].size()));
  }
  for (const std::vector<uint8_t>& patch : patches) out.insert(out.end(), patch.begin(), patch.end());
  if (whole != nullptr) {
    const std::vector<uint8_t>& bytes = whole->flags == kEntryFlagCompressed ? whole->block : input.data;
    StoreLe32(out.data() + 8, whole->flags);
    StoreLe32(out.data() + 12, static_cast<uint32_t>(bytes.size()));
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

}  // namespace

EncodedEntry EncodeEntry(const PackageInput& input, CompressLevel level) {
  EncodedEntry encoded;
  encoded.flags = kEntryFlagStored;
  if (input.storage != EntryStorage::Stored) {
    encoded.block = CompressBlock(input.data.data(), input.data.size(), level);
    if (input.storage == EntryStorage::Compressed || encoded.block.size() < input.data.size()) {
      encoded.flags = kEntryFlagCompressed;
    } else {
      encoded.block = {};
    }
  }
  encoded.wholeSize = static_cast<uint32_t>(
      encoded.flags == kEntryFlagCompressed ? encoded.block.size() : input.data.size());

  // One patch for each old version that differs from the file and from
  // every version before it.
  std::vector<const std::vector<uint8_t>*> olds;
  for (const std::vector<uint8_t>& old : input.oldVersions) {
    bool seen = old == input.data;
    for (const std::vector<uint8_t>* kept : olds) seen = seen || *kept == old;
    if (!seen && olds.size() < kMaxPatchVersions) olds.push_back(&old);
  }
  if (olds.empty()) return encoded;
  std::vector<std::vector<uint8_t>> patches;
  uint64_t patched = kPatchEntryHeaderSize + uint64_t{kPatchVersionSize} * olds.size();
  for (const std::vector<uint8_t>* old : olds) {
    patches.push_back(BuildPatch(old->data(), old->size(), input.data.data(), input.data.size()));
    encoded.patchSizes.push_back(static_cast<uint32_t>(patches.back().size()));
    patched += patches.back().size();
  }
  // The whole file it kept is not part of the weighing: it is there for
  // players the patches cannot serve, whatever its size.
  if (patched >= encoded.wholeSize) return encoded;
  EncodedEntry patch;
  patch.flags = kEntryFlagPatch;
  patch.block = PatchEntryData(input, olds, patches, input.keepWhole ? &encoded : nullptr);
  patch.wholeSize = encoded.wholeSize;
  patch.patchSizes = std::move(encoded.patchSizes);
  return patch;
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
    const size_t size = encoded[i].flags == kEntryFlagStored ? inputs[i].data.size() : encoded[i].block.size();
    room += (uint64_t{size} + 15) & ~uint64_t{15};
  }
  std::vector<uint8_t> out;
  if (room <= kMaxPackageSize) out.reserve(static_cast<size_t>(room));
  out.resize(kPackageHeaderSize, 0);
  std::vector<uint8_t> directory(inputs.size() * kPackageEntrySize);
  for (size_t i = 0; i < inputs.size(); ++i) {
    const PackageInput& input = inputs[i];
    const uint32_t flags = encoded[i].flags;
    const std::vector<uint8_t>& stored = flags == kEntryFlagStored ? input.data : encoded[i].block;
    // Checked before appending so a too-large package is never built in full.
    const uint64_t end = AlignPackageOffset(uint64_t{out.size()} + stored.size());
    if (end > kMaxPackageSize) return {PackageWriteResult::PackageTooLarge, i};
    PutRecord(directory.data() + i * kPackageEntrySize, input, flags,
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
