// Process set-up, threads, the package carried in the executable, the
// temporary folder.
#include <windows.h>
#include <objbase.h>

#include <cstdlib>

#include "core/ids.h"
#include "platform/platform.h"

namespace {

// The updater runs elevated, often from a downloads folder where anyone may
// have left a DLL. Before anything can load a library, the search is limited
// to the system folder, or, where that call is missing, the program's own
// folder is taken out of it.
void RestrictDllSearch() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return;
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesProc)(DWORD);
  typedef BOOL(WINAPI * SetDllDirectoryProc)(LPCSTR);
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesProc>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  auto setDirectory = reinterpret_cast<SetDllDirectoryProc>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
  if (setDirectory) setDirectory("");
}

// Resource `id` of type "UPDATE" in our own executable, locked in place.
// False when it is not there; true with null and 0 when it is there but
// empty or cannot be loaded.
bool LocateUpdateResource(WORD id, const uint8_t** image, uint32_t* size) {
  HMODULE self = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(self, MAKEINTRESOURCEA(id), UPD_PACKAGE_TYPE);
  if (!found) return false;
  const DWORD length = SizeofResource(self, found);
  HGLOBAL loaded = length ? LoadResource(self, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  *image = static_cast<const uint8_t*>(bytes);
  *size = bytes ? length : 0;
  return true;
}

}  // namespace

struct PlatThreadTag {
  HANDLE handle;
  void (*work)(void*);
  void* argument;
};

namespace {

DWORD WINAPI RunWork(void* thread) {
  auto* self = static_cast<PlatThreadTag*>(thread);
  self->work(self->argument);
  return 0;
}

}  // namespace

PlatThread PlatStartThread(void (*work)(void*), void* argument) {
  auto* thread = static_cast<PlatThreadTag*>(std::malloc(sizeof(PlatThreadTag)));
  if (!thread) return nullptr;
  thread->work = work;
  thread->argument = argument;
  thread->handle = CreateThread(nullptr, 0, RunWork, thread, CREATE_SUSPENDED, nullptr);
  if (!thread->handle) {
    std::free(thread);
    return nullptr;
  }
  SetThreadPriority(thread->handle, THREAD_PRIORITY_BELOW_NORMAL);
  ResumeThread(thread->handle);
  return thread;
}

void PlatJoinThread(PlatThread thread) {
  WaitForSingleObject(thread->handle, INFINITE);
  CloseHandle(thread->handle);
  std::free(thread);
}

namespace {

CRITICAL_SECTION gLock;
LONG volatile gLockState;  // 0 not made, 1 being made, 2 ready

// Made on first use, by whichever thread comes first: tests use threads
// without the program's set-up.
CRITICAL_SECTION* Lock() {
  if (gLockState != 2) {
    if (InterlockedCompareExchange(&gLockState, 1, 0) == 0) {
      InitializeCriticalSection(&gLock);
      InterlockedExchange(&gLockState, 2);
    }
    while (gLockState != 2) Sleep(1);
  }
  return &gLock;
}

}  // namespace

void PlatLock() { EnterCriticalSection(Lock()); }

void PlatUnlock() { LeaveCriticalSection(Lock()); }

unsigned PlatProcessorCount() {
  DWORD_PTR process = 0, system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process) {
    unsigned count = 0;
    for (; process; process &= process - 1) ++count;
    return count;
  }
  return 1;
}

void PlatInitialize() {
  RestrictDllSearch();
  // The shell's copy wants COM; its result does not matter to the updater.
  CoInitialize(nullptr);
}

bool PlatLocatePackage(const uint8_t** image, uint32_t* size) {
  return LocateUpdateResource(UPD_PACKAGE_ID, image, size) && *image != nullptr;
}

void PlatReleasePackageBytes(const uint8_t* bytes, uint32_t size) {
  // On pages that are not locked this takes them out of the working set;
  // the resource is part of the image, so they come back from the file.
  VirtualUnlock(const_cast<uint8_t*>(bytes), size);
}

bool PlatLocateIntegrityRecord(const uint8_t** image, uint32_t* size) {
  return LocateUpdateResource(UPD_INTEGRITY_ID, image, size);
}

bool PlatTempFolder(char* buffer, size_t capacity) {
  const DWORD length = GetTempPathA(DWORD(capacity), buffer);
  return length != 0 && length < capacity;
}
