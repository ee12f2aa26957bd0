// A compressed entry decoded piece by piece, so that the memory an entry
// takes does not grow with its size: the next piece is decoded on another
// processor while the caller writes the one before.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/package_format.h"
#include "package/decompress.h"

// Entries up to this size are decoded whole, at once; bigger ones in pieces
// of this size.
constexpr size_t kPieceSize = size_t{4} << 20;

struct PieceJob;

struct PieceDecoder {
  PieceJob* jobs[2];  // one being written by the caller, one being decoded
  int current;        // the job whose piece the caller has now
};

// Prepares to decode the compressed entry `entry` whose block is at `data`.
// False when there is no memory for its buffers.
bool OpenPieces(PieceDecoder* decoder, const PackageEntry& entry,
                const uint8_t* data);

// The next piece: End after the last one (which may be empty), More while
// others follow, Damaged when the block is damaged or gives another size
// than the entry's. The bytes stay valid until the next call.
PieceEnd NextPiece(PieceDecoder* decoder, const uint8_t** bytes, size_t* size);

// Waits for the decoding under way and frees the buffers.
void ClosePieces(PieceDecoder* decoder);
