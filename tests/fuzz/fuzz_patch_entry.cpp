// Arbitrary bytes as a patch entry's data: the record's reader must accept
// only parts that lie inside the data, and each patch it gives, copied into
// a buffer of exactly its size, is applied against an old file of the size
// the record claims, into a sink of the result's size.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/patch_entry.h"
#include "package/patch_apply.h"

namespace {

constexpr uint32_t kMaxOld = 4096;  // larger old files are not applied: speed

bool ReadOld(void* ctx, uint32_t offset, uint8_t* dest, uint32_t n) {
  const auto& old = *static_cast<std::vector<uint8_t>*>(ctx);
  if (offset > old.size() || n > old.size() - offset) std::abort();
  std::memcpy(dest, old.data() + offset, n);
  return true;
}

bool Write(void* ctx, const uint8_t*, uint32_t n) {
  auto& room = *static_cast<uint32_t*>(ctx);
  if (n > room) std::abort();
  room -= n;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint32_t resultSize = (uint32_t(data[0]) | uint32_t(data[1]) << 8) % 20000;
  const std::vector<uint8_t> entry(data + 2, data + size);
  const uint32_t entrySize = uint32_t(entry.size());
  PatchEntryInfo info;
  if (!ReadPatchEntry(entry.data(), entrySize, resultSize, &info)) return 0;
  if (info.FallbackOffset > entrySize || info.FallbackSize != entrySize - info.FallbackOffset) {
    std::abort();
  }
  for (uint32_t i = 0; i < info.VersionCount; ++i) {
    const PatchVersion version = ReadPatchVersion(entry.data(), info, i);
    if (version.PatchOffset > info.FallbackOffset ||
        version.PatchSize > info.FallbackOffset - version.PatchOffset) {
      std::abort();
    }
    if (version.OldSize > kMaxOld) continue;
    const std::vector<uint8_t> patch(entry.begin() + version.PatchOffset,
                                     entry.begin() + version.PatchOffset + version.PatchSize);
    std::vector<uint8_t> old(version.OldSize);
    for (size_t j = 0; j < old.size(); ++j) old[j] = uint8_t(j * 7 + (j >> 8));
    uint32_t room = resultSize;
    if (ApplyPatch(patch.data(), uint32_t(patch.size()), version.OldSize, resultSize,
                   PatchOldFile{ReadOld, &old}, PatchSink{Write, &room}) &&
        room != 0) {
      std::abort();
    }
  }
  return 0;
}
