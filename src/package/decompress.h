// Decoder of the package's compressed blocks.
#pragma once
#include <cstddef>
#include <cstdint>

// Which fast loop the decoder runs: the one built for every processor the
// program supports, or the best this processor can run (instructions found
// through cpuid).
enum class DecoderLoop { Baseline, Best };

// Chooses the decoder's fast loop. Call it once, before any thread decodes
// (again only while none does): it is the decoder's only write to shared
// state, and DecompressBlock only reads it, so any number of threads may
// decode at once afterwards. Until it is called, the baseline loop runs.
void PrepareDecoder(DecoderLoop loop = DecoderLoop::Best);

// Decodes the block at `source` (at most `sourceSize` bytes) into `dest`
// (room for `destCapacity` bytes). True when the block reached its end code
// without reading past the source, reaching before the first output byte or
// writing past the capacity; `*written` is then the decoded size, and the
// bytes after it, up to the capacity, may have been overwritten. On false
// the destination holds garbage up to its capacity and nothing outside the
// two buffers was touched.
bool DecompressBlock(uint8_t* dest, size_t destCapacity, const uint8_t* source,
                     size_t sourceSize, size_t* written);

// ---- A block in pieces ---------------------------------------------------
//
// An entry too big to decode at once is decoded piece after piece into a
// buffer whose front keeps the last bytes of the pieces before, since a
// match reaches back at most kMaxDistance bytes.

// Where the decoder stands in a block between pieces.
struct BlockReader {
  const uint8_t* in;
  const uint8_t* inEnd;
  uint32_t word;
  unsigned left;
};

// Starts reading the block at `source` (at most `sourceSize` bytes). False
// when it cannot even hold its first control word.
bool BeginBlock(BlockReader* reader, const uint8_t* source, size_t sourceSize);

enum class PieceEnd { More, End, Damaged };

// A piece needs this much room to be sure to make progress.
constexpr size_t kMinPieceRoom = 64 * 1024;

// Decodes the next piece into `out`, which has `room` bytes (at least
// kMinPieceRoom) and, right before it, the last `window` bytes decoded so
// far. `expected` is what the block still has to give in all: the piece
// never writes past it. More: the piece filled most of the room and the
// block goes on; End: the block ended; `*written` is the piece's size in
// both cases. Damaged: as DecompressBlock's false.
PieceEnd DecodeBlockPiece(BlockReader* reader, uint8_t* out, size_t room,
                          size_t window, uint64_t expected, size_t* written);
