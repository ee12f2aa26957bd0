// The fixed text buffers of the program, as the installer's records and the
// system's path limit size them; each size includes the NUL.
#pragma once

constexpr int kPathSize = 260;      // names, keys and paths
constexpr int kMessageSize = 1024;  // messages and long values
