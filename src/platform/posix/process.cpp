// Process set-up, threads and the temporary folder.
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

struct PlatThreadTag {
  pthread_t thread;
  void (*work)(void*);
  void* argument;
};

namespace {

// A little nicer than the process: weighed 1024 to 335 against it.
constexpr int kWorkNiceness = 5;

void* RunWork(void* thread) {
  auto* self = static_cast<PlatThreadTag*>(thread);
  // Linux gives every thread its own niceness; elsewhere this may fail, and
  // the work then runs as it is.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), getpriority(PRIO_PROCESS, 0) + kWorkNiceness);
  self->work(self->argument);
  return nullptr;
}

}  // namespace

// Nothing to harden or initialise here: no DLL search path, no COM.
void PlatInitialize() {}

PlatThread PlatStartThread(void (*work)(void*), void* argument) {
  auto* thread = static_cast<PlatThreadTag*>(std::malloc(sizeof(PlatThreadTag)));
  if (!thread) return nullptr;
  thread->work = work;
  thread->argument = argument;
  if (pthread_create(&thread->thread, nullptr, RunWork, thread) != 0) {
    std::free(thread);
    return nullptr;
  }
  return thread;
}

void PlatJoinThread(PlatThread thread) {
  pthread_join(thread->thread, nullptr);
  std::free(thread);
}

namespace {
pthread_mutex_t gLock = PTHREAD_MUTEX_INITIALIZER;
}  // namespace

void PlatLock() { pthread_mutex_lock(&gLock); }

void PlatUnlock() { pthread_mutex_unlock(&gLock); }

unsigned PlatProcessorCount() {
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
    const int count = CPU_COUNT(&allowed);
    if (count > 0) return static_cast<unsigned>(count);
  }
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1;
}

bool PlatTempFolder(char* buffer, size_t capacity) {
  const char* folder = std::getenv("TMPDIR");
  if (!folder || !*folder) folder = "/tmp";
  const size_t length = std::strlen(folder);
  const bool needsSlash = folder[length - 1] != '/';
  if (length + needsSlash + 1 > capacity) return false;
  std::memcpy(buffer, folder, length);
  if (needsSlash) buffer[length] = '/';
  buffer[length + needsSlash] = '\0';
  return true;
}
