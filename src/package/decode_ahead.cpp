#include "package/decode_ahead.h"

#include <cstdlib>

#include "package/decompress.h"
#include "package/package.h"
#include "package/piece_decoder.h"
#include "platform/platform.h"

namespace {

// At most this many entries are decoded at once, however many processors
// there are; decoded and not yet written, at most kMaxSlots entries of at
// most kPieceSize bytes and, beyond the first, no more bytes than the budget.
constexpr int32_t kMaxJobs = 4;
constexpr int32_t kMaxSlots = 8;
constexpr uint64_t kBudgetBytes = 32u << 20;

struct Job {
  int32_t index;  // of the entry in the run
  const char* name;
  PackageEntry entry;
  const uint8_t* data;
  uint8_t* bytes;     // the decoding's destination, null when the slot is free
  PlatThread thread;  // null once joined
  bool running;       // its thread has not yet finished with the run
  bool whole;         // decoded to exactly the entry's size
};

// Shared with the decoding threads: touched only under PlatLock, and a
// thread is joined only with the lock let go (it takes the lock as it ends).
struct Run {
  const char* const* names;
  int32_t count;
  int32_t current;  // the entry being written
  int32_t next;     // the first entry not yet looked at
  int32_t jobs;     // entries decoded at once
  Job slots[kMaxSlots];
};
Run gRun;

void StartMore();

// Decodes one entry, then starts the next ones itself: the processors need
// not wait for the write under way to end.
void Decode(void* argument) {
  Job& job = *static_cast<Job*>(argument);
  size_t written = 0;
  const bool whole = DecompressBlock(job.bytes, job.entry.FileSize, job.data,
                                     job.entry.StoredSize, &written) &&
                     written == job.entry.FileSize;
  PlatLock();
  job.whole = whole;
  job.running = false;
  StartMore();
  PlatUnlock();
}

// Whether the entry's bytes need decoding at all; its record and where its
// block starts if so.
bool Compressed(const char* name, PackageEntry* entry, uint32_t* offset) {
  return FindOpenEntry(name, entry, offset) &&
         (entry->Flags & kEntryFlagCompressed) != 0 && entry->FileSize != 0;
}

// Bigger entries are decoded in pieces as they are written, whatever their
// size, and never whole.
bool DecodedWhole(const PackageEntry& entry) { return entry.FileSize <= kPieceSize; }

// Starts decoding entry `index` unless the jobs, the slots or the budget are
// taken up: false then, to try again when an entry is decoded or taken.
bool Start(int32_t index) {
  PackageEntry entry;
  uint32_t offset = 0;
  if (!Compressed(gRun.names[index], &entry, &offset) || !DecodedWhole(entry)) {
    return true;  // nothing to decode ahead
  }
  int32_t running = 0;
  uint64_t underWay = 0;
  Job* slot = nullptr;
  for (Job& job : gRun.slots) {
    if (job.bytes) {
      running += job.running;
      underWay += job.entry.FileSize;
    } else {
      slot = &job;
    }
  }
  if (!slot || running >= gRun.jobs ||
      (underWay != 0 && underWay + entry.FileSize > kBudgetBytes)) {
    return false;
  }
  *slot = Job{index, gRun.names[index], entry, PackageImage + offset, nullptr, nullptr, true, false};
  slot->bytes = static_cast<uint8_t*>(std::malloc(entry.FileSize));
  if (slot->bytes) slot->thread = PlatStartThread(Decode, slot);
  if (!slot->thread) {
    // Decoded when its turn comes instead.
    std::free(slot->bytes);
    slot->bytes = nullptr;
  }
  return true;
}

// Entries stored as they are take no job, so the look-ahead passes over
// them: the processors decode the next compressed ones meanwhile.
void StartMore() {
  while (gRun.next < gRun.count && Start(gRun.next)) ++gRun.next;
}

// Joins the threads of the slots `take(job)` picks and frees what is left
// of them. Called without the lock.
template <class Take>
void Release(Take take) {
  PlatThread threads[kMaxSlots] = {};
  PlatLock();
  for (int32_t i = 0; i < kMaxSlots; ++i) {
    Job& job = gRun.slots[i];
    if (!job.bytes || !take(job)) continue;
    threads[i] = job.thread;
    job.index = -1;  // no longer anyone's: kept from reuse until freed below
  }
  PlatUnlock();
  for (PlatThread thread : threads) {
    if (thread) PlatJoinThread(thread);
  }
  PlatLock();
  for (int32_t i = 0; i < kMaxSlots; ++i) {
    Job& job = gRun.slots[i];
    if (!job.bytes || job.index != -1) continue;
    std::free(job.bytes);
    job.bytes = nullptr;
    job.thread = nullptr;
  }
  PlatUnlock();
}

}  // namespace

void StartDecodingAhead(const char* const* names, int32_t count) {
  StopDecodingAhead();
  const unsigned processors = PlatProcessorCount();
  PlatLock();
  // As many as the processors, not more: the first entry, which the writes
  // wait for, is then decoded soonest.
  gRun.jobs = processors < kMaxJobs ? int32_t(processors) : kMaxJobs;
  gRun.names = names;
  gRun.count = count;
  PlatUnlock();
}

void DecodeAheadFrom(int32_t index) {
  PlatLock();
  gRun.current = index;
  if (gRun.next < index) gRun.next = index;
  PlatUnlock();
  Release([index](const Job& job) { return job.index < index; });
  PlatLock();
  StartMore();
  PlatUnlock();
}

uint8_t* TakeDecodedEntry(const char* name) {
  PlatLock();
  Job* found = nullptr;
  for (Job& job : gRun.slots) {
    if (job.bytes && job.index == gRun.current && EntryNamesEqual(job.name, name)) found = &job;
  }
  const PlatThread thread = found ? found->thread : nullptr;
  PlatUnlock();
  if (!found) return nullptr;
  if (thread) PlatJoinThread(thread);
  PlatLock();
  uint8_t* bytes = found->whole ? found->bytes : nullptr;
  if (!bytes) std::free(found->bytes);
  found->bytes = nullptr;
  found->thread = nullptr;
  StartMore();  // its bytes have left the budget
  PlatUnlock();
  return bytes;
}

void StopDecodingAhead() {
  PlatLock();
  gRun.count = gRun.next;  // nothing more is started
  PlatUnlock();
  Release([](const Job&) { return true; });
  PlatLock();
  gRun.names = nullptr;
  gRun.count = gRun.current = gRun.next = 0;
  PlatUnlock();
}
