// The Windows entry point: everything happens in UpdaterMain; the command
// line and the show command are not used.
#include <windows.h>

#include "updater/updater.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return UpdaterMain(); }

// The updater runs on one thread, so a function-local static needs no lock
// around its first initialisation. The runtime's locking version would
// bring its exception machinery into the executable, tripling its size.
// Guard layout: the first byte is nonzero once the static is initialised.
extern "C" int __cxa_guard_acquire(long long* guard) {
  return *reinterpret_cast<char*>(guard) == 0;
}
extern "C" void __cxa_guard_release(long long* guard) {
  *reinterpret_cast<char*>(guard) = 1;
}
extern "C" void __cxa_guard_abort(long long*) {}
