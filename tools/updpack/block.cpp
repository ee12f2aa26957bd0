// updpack block: one compressed block to and from a plain file.
#include <algorithm>

#include "core/block_format.h"
#include "package/decompress.h"
#include "tool_support.h"
#include "verbs.h"

namespace {

constexpr uint64_t kMaxFileSize = 0xFFFFFFFFu;

}  // namespace

// A block does not record its decoded size, so the room is doubled until the
// block fits, up to the most it could stand for.
void RunBlockDecode(const std::string& input, const std::string& output) {
  const fs::path inPath = PathFromUtf8(input);
  const std::vector<uint8_t> block = ReadWholeFileOrThrow(inPath);
  const uint64_t limit = std::min(block.size() * kMaxBlockExpansion, kMaxFileSize);
  ProgressLine progress(block.size());
  progress.Show("decoding " + FormatBytes(block.size()));
  std::vector<uint8_t> bytes;
  size_t written = 0;
  for (uint64_t room = std::min<uint64_t>(limit, block.size() * 4 + 64);;
       room = std::min(room * 2, limit)) {
    bytes.resize(static_cast<size_t>(room));
    if (DecompressBlock(bytes.data(), bytes.size(), block.data(), block.size(),
                        &written)) {
      break;
    }
    if (room == limit) {
      throw ToolError(Quote(inPath) + ": the block is damaged");
    }
  }
  progress.Clear();
  WriteFileReplacing(PathFromUtf8(output), bytes.data(), written);
}

void RunBlockEncode(const std::string& input, const std::string& output,
                    CompressLevel level) {
  const std::vector<uint8_t> bytes = ReadWholeFileOrThrow(PathFromUtf8(input));
  ProgressLine progress(bytes.size());
  progress.Show("encoding " + FormatBytes(bytes.size()));
  const std::vector<uint8_t> block =
      CompressBlock(bytes.data(), bytes.size(), level);
  progress.Clear();
  WriteFileReplacing(PathFromUtf8(output), block.data(), block.size());
}
