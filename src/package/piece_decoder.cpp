#include "package/piece_decoder.h"

#include <cstdlib>
#include <cstring>

#include "core/block_format.h"
#include "platform/platform.h"

// One piece: where the block stands before it (after it, once decoded), and
// the buffer that holds the window of earlier bytes and then the piece.
struct PieceJob {
  BlockReader reader;
  uint64_t expected;  // what the block still has to give from this piece on
  size_t window;
  size_t written;
  PieceEnd end;
  PlatThread thread;  // null unless decoding on another thread
};

namespace {

constexpr size_t kJobBytes = sizeof(PieceJob) + kMaxDistance + kPieceSize;

uint8_t* PieceOf(PieceJob* job) {
  return reinterpret_cast<uint8_t*>(job + 1) + kMaxDistance;
}

void Decode(void* argument) {
  PieceJob* job = static_cast<PieceJob*>(argument);
  job->end = DecodeBlockPiece(&job->reader, PieceOf(job), kPieceSize, job->window,
                              job->expected, &job->written);
}

// On another processor when one can be had, here otherwise.
void Start(PieceJob* job) {
  job->thread = PlatStartThread(Decode, job);
  if (!job->thread) Decode(job);
}

void Finish(PieceJob* job) {
  if (!job->thread) return;
  PlatJoinThread(job->thread);
  job->thread = nullptr;
}

}  // namespace

bool OpenPieces(PieceDecoder* decoder, const PackageEntry& entry,
                const uint8_t* data) {
  *decoder = PieceDecoder{};
  for (PieceJob*& job : decoder->jobs) {
    job = static_cast<PieceJob*>(std::malloc(kJobBytes));
    if (!job) {
      ClosePieces(decoder);
      return false;
    }
    job->thread = nullptr;
  }
  PieceJob* first = decoder->jobs[0];
  first->expected = entry.FileSize;
  first->window = 0;
  if (BeginBlock(&first->reader, data, entry.StoredSize)) {
    Start(first);
  } else {
    first->end = PieceEnd::Damaged;
  }
  return true;
}

PieceEnd NextPiece(PieceDecoder* decoder, const uint8_t** bytes, size_t* size) {
  PieceJob* job = decoder->jobs[decoder->current];
  Finish(job);
  if (job->end == PieceEnd::Damaged ||
      (job->end == PieceEnd::End && job->written != job->expected)) {
    return PieceEnd::Damaged;
  }
  *bytes = PieceOf(job);
  *size = job->written;
  if (job->end == PieceEnd::End) return PieceEnd::End;

  // The next piece starts where this one stopped, with this one's last
  // bytes before it, while the caller writes this one.
  PieceJob* next = decoder->jobs[1 - decoder->current];
  next->reader = job->reader;
  next->expected = job->expected - job->written;
  const uint64_t produced = job->window + job->written;
  next->window = produced < kMaxDistance ? size_t(produced) : kMaxDistance;
  std::memcpy(PieceOf(next) - next->window, PieceOf(job) + job->written - next->window,
              next->window);
  Start(next);
  decoder->current = 1 - decoder->current;
  return PieceEnd::More;
}

void ClosePieces(PieceDecoder* decoder) {
  for (PieceJob*& job : decoder->jobs) {
    if (!job) continue;
    Finish(job);
    std::free(job);
    job = nullptr;
  }
}
