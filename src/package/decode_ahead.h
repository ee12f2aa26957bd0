// Decoding ahead of the writes: while one file of the update is written,
// the compressed entries of the next ones are decoded on the other
// processors, those small enough to be decoded whole (bigger ones are
// decoded in pieces as they are written). Nothing of it shows: bytes decoded ahead are used only when
// their entry is asked for, and whatever goes wrong ahead (no memory, no
// thread, a damaged block) is met again, and reported, when it is.
#pragma once
#include <cstdint>

// Begins a run that writes the entries `names[0]` to `names[count - 1]` in
// that order. The names stay valid until StopDecodingAhead.
void StartDecodingAhead(const char* const* names, int32_t count);

// The run has come to `names[index]`: entries before it are let go, and it
// and the next ones are decoded, as many at a time as there are processors.
void DecodeAheadFrom(int32_t index);

// The decoded bytes of `name` when it is the current entry of the run and
// was decoded whole; null otherwise. The caller frees them (std::free).
uint8_t* TakeDecodedEntry(const char* name);

// Waits for the decoding under way and lets everything go.
void StopDecodingAhead();
