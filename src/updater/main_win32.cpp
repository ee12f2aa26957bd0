// The Windows entry point: everything happens in UpdaterMain; the command
// line and the show command are not used.
#include <windows.h>

#include "updater/updater.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return UpdaterMain(); }

// The runtime's guard around the first initialisation of a function-local
// static locks, and its locking would bring the exception machinery into
// the executable, tripling its size; these replace it with one that does
// not lock. That is right only while no such static is reached by two
// threads at once, and today the updater has none initialised at run time
// (no object of it calls these): the dialog's thread, the one that runs the
// update aside and the ones that decode ahead or in pieces reach only
// statics that are constants or plainly zeroed, and the decoders read the
// loop that start-up chose on the main thread before any of them started
// (PrepareDecoder). A new one must be initialised before the threads start.
// Guard layout: the first byte is nonzero once the static is initialised.
extern "C" int __cxa_guard_acquire(long long* guard) {
  return *reinterpret_cast<char*>(guard) == 0;
}
extern "C" void __cxa_guard_release(long long* guard) {
  *reinterpret_cast<char*>(guard) = 1;
}
extern "C" void __cxa_guard_abort(long long*) {}
