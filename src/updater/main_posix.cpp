// The native updater: the same program over the POSIX platform, for the
// terminal and for tests. The arguments are ignored, as on Windows.
#include "updater/updater.h"

int main() { return UpdaterMain(); }
