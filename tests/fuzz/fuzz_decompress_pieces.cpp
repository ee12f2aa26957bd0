// A block decoded piece by piece must come out as the whole decoding does:
// the same bytes, the same refusal, whatever the pieces' room. Each piece
// has exactly its room after the window kept, so that the address checker
// sees a step past either.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/block_format.h"
#include "package/decompress.h"

namespace {

bool Whole(const uint8_t* block, size_t size, size_t expected, std::vector<uint8_t>* out) {
  std::vector<uint8_t> dest(expected);
  size_t written = 0;
  if (!DecompressBlock(dest.data(), dest.size(), block, size, &written)) return false;
  out->assign(dest.begin(), dest.begin() + written);
  return true;
}

bool InPieces(const uint8_t* block, size_t size, size_t expected, size_t room,
              std::vector<uint8_t>* out) {
  BlockReader reader;
  if (!BeginBlock(&reader, block, size)) return false;
  for (;;) {
    const size_t window = std::min(out->size(), kMaxDistance);
    std::vector<uint8_t> buffer(window + room);
    std::copy(out->end() - window, out->end(), buffer.begin());
    size_t written = 0;
    const PieceEnd end = DecodeBlockPiece(&reader, buffer.data() + window, room, window,
                                          expected - out->size(), &written);
    if (end == PieceEnd::Damaged) return false;
    if (written > room || written > expected - out->size()) std::abort();
    out->insert(out->end(), buffer.begin() + window, buffer.begin() + window + written);
    if (end == PieceEnd::End) return true;
    if (written == 0) std::abort();  // a piece that makes no progress never ends
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  // Both fast loops, by turns, as the whole decoding's target does.
  PrepareDecoder(size % 2 ? DecoderLoop::Best : DecoderLoop::Baseline);
  // The room and what the block owes come from the input; the block is
  // the rest, repeated so that long outputs, many pieces and the fast
  // loop's margins all come up.
  const size_t room = kMinPieceRoom + (size_t(data[0]) | size_t(data[1]) << 8) % 4096;
  const size_t expected = (size_t(data[2]) | size_t(data[3]) << 8) * 4;
  const uint8_t* body = data + 4;
  const size_t bodySize = size - 4;
  std::vector<uint8_t> block(bodySize == 0 ? 0 : (4096 + bodySize - 1) / bodySize * bodySize);
  for (size_t i = 0; i < block.size(); ++i) block[i] = body[i % bodySize];
  std::vector<uint8_t> whole, pieces;
  const bool wholeOk = Whole(block.data(), block.size(), expected, &whole);
  const bool piecesOk = InPieces(block.data(), block.size(), expected, room, &pieces);
  if (wholeOk != piecesOk || (wholeOk && whole != pieces)) std::abort();
  return 0;
}
