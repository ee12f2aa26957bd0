// The Windows entry point: everything happens in UpdaterMain; the command
// line and the show command are not used.
#include <windows.h>

#include "updater/updater.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return UpdaterMain(); }
