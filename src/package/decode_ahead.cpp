#include "package/decode_ahead.h"

#include <cstdlib>

#include "package/decompress.h"
#include "package/package.h"
#include "platform/platform.h"

namespace {

// At most this many entries are decoded at once, and beyond the first no
// more bytes than the budget, however many processors there are.
constexpr int32_t kMaxJobs = 4;
constexpr uint64_t kBudgetBytes = 64u << 20;

struct Job {
  const char* name;
  PackageEntry entry;
  const uint8_t* data;
  uint8_t* bytes;     // the decoding's destination, null when none runs
  PlatThread thread;  // null once joined
  bool whole;         // decoded to exactly the entry's size
};

struct Run {
  const char* const* names;
  int32_t count;
  int32_t current;  // the entry being written
  int32_t started;  // the entries before it have had their chance
  int32_t jobs;     // entries decoded at once
  Job slots[kMaxJobs];
};
Run gRun;

Job& Slot(int32_t index) { return gRun.slots[index % kMaxJobs]; }

void Decode(void* argument) {
  Job& job = *static_cast<Job*>(argument);
  size_t written = 0;
  job.whole = DecompressBlock(job.bytes, job.entry.FileSize, job.data,
                              job.entry.StoredSize, &written) &&
              written == job.entry.FileSize;
}

void Join(Job& job) {
  if (job.thread) PlatJoinThread(job.thread);
  job.thread = nullptr;
}

void Drop(Job& job) {
  Join(job);
  std::free(job.bytes);
  job.bytes = nullptr;
}

uint64_t BytesUnderWay() {
  uint64_t total = 0;
  for (int32_t i = gRun.current; i < gRun.started; ++i) {
    if (Slot(i).bytes) total += Slot(i).entry.FileSize;
  }
  return total;
}

// Starts decoding entry `index`, if it is compressed and fits the budget.
// False when the budget has no room for it yet.
bool Start(int32_t index) {
  Job& job = Slot(index);
  job = Job{};
  job.name = gRun.names[index];
  uint32_t offset = 0;
  if (OpenDirectory == nullptr ||
      !FindPackageEntry(OpenDirectory, job.name, &job.entry, &offset) ||
      (job.entry.Flags & kEntryFlagCompressed) == 0 || job.entry.FileSize == 0) {
    return true;
  }
  const uint64_t underWay = BytesUnderWay();
  if (underWay != 0 && underWay + job.entry.FileSize > kBudgetBytes) return false;
  job.data = PackageImage + offset;
  job.bytes = static_cast<uint8_t*>(std::malloc(job.entry.FileSize));
  if (job.bytes) job.thread = PlatStartThread(Decode, &job);
  if (!job.thread) Drop(job);
  return true;
}

}  // namespace

void StartDecodingAhead(const char* const* names, int32_t count) {
  StopDecodingAhead();
  unsigned processors = PlatProcessorCount();
  // One more than the processors: the writing thread mostly waits.
  gRun.jobs = processors + 1 < kMaxJobs ? int32_t(processors) + 1 : kMaxJobs;
  gRun.names = names;
  gRun.count = count;
}

void DecodeAheadFrom(int32_t index) {
  for (; gRun.current < index; ++gRun.current) {
    if (gRun.current < gRun.started) Drop(Slot(gRun.current));
  }
  if (gRun.started < gRun.current) gRun.started = gRun.current;
  while (gRun.started < gRun.count && gRun.started < gRun.current + gRun.jobs &&
         Start(gRun.started)) {
    ++gRun.started;
  }
}

uint8_t* TakeDecodedEntry(const char* name) {
  if (gRun.current >= gRun.started) return nullptr;
  Job& job = Slot(gRun.current);
  if (!job.bytes || !EntryNamesEqual(job.name, name)) return nullptr;
  Join(job);
  uint8_t* bytes = job.whole ? job.bytes : nullptr;
  if (!bytes) std::free(job.bytes);
  job.bytes = nullptr;
  return bytes;
}

void StopDecodingAhead() {
  for (int32_t i = gRun.current; i < gRun.started; ++i) Drop(Slot(i));
  gRun = Run{};
}
