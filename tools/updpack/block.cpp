// updpack block: one compressed block to and from a plain file.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <memory>

#include "core/block_format.h"
#include "package/decompress.h"
#include "tool_support.h"
#include "verbs.h"

namespace {

constexpr uint64_t kMaxFileSize = 0xFFFFFFFFu;

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

}  // namespace

Verb AddBlockVerb(CLI::App* app) {
  struct Options {
    std::string input, output;
    std::string level = "best";  // as --level gives it
  };
  auto options = std::make_shared<Options>();
  CLI::App* command =
      app->add_subcommand("block", "Encode or decode a single compressed block");
  command->require_subcommand(1);
  CLI::App* decode =
      command->add_subcommand("decode", "Decode the block IN into OUT");
  CLI::App* encode =
      command->add_subcommand("encode", "Encode the file IN as a block");
  AddLevelOption(encode, &options->level);
  for (CLI::App* direction : {decode, encode}) {
    AddArgument(direction, "IN", &options->input, "File to read");
    AddArgument(direction, "OUT", &options->output, "File to write");
  }
  return {command, [options, decode] {
            if (*decode) {
              RunBlockDecode(options->input, options->output);
            } else {
              RunBlockEncode(options->input, options->output,
                             LevelNamed(options->level));
            }
            return 0;
          }};
}
