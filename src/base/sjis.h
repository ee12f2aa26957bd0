// Shift-JIS, the code page of every name and text the updater handles: the
// byte after a lead byte belongs to the same character, even when it looks
// like '\' or an ASCII letter.
#pragma once

inline bool IsLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
