// Shift-JIS text on a UTF-8 terminal.
#pragma once
#include <cstdio>

// Writes `text` to `out` converted to UTF-8; a CR, the line break of the
// updater's messages, starts a new line. Bytes that are not Shift-JIS show
// as '?'.
void PrintSjis(FILE* out, const char* text);
