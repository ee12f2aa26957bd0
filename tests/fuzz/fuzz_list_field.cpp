// Fuzzes the list-field tokenizer over arbitrary bytes (a NUL in the input
// ends the value early, as it would in a profile buffer). Every field must
// fit its slot, the cursor must move forward inside the value, and once the
// list is over it must stay over.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "profile/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The value gets a buffer of its own, so reading past its NUL is caught.
  std::vector<char> value(data, data + size);
  value.push_back('\0');
  const char* const begin = value.data();
  const char* const end = begin + std::strlen(begin);
  // A slot of exactly 260 bytes, so that a longer field is caught.
  std::vector<char> slot(260);

  CurrentDiskNumber = 0;
  const char* cursor = begin;
  for (;;) {
    const char* before = cursor;
    if (!NextListField(slot.data(), &cursor)) break;
    if (cursor <= before || cursor > end) std::abort();
    if (std::strlen(slot.data()) >= slot.size()) std::abort();
    if (CurrentDiskNumber < 0 || CurrentDiskNumber > 9) std::abort();
  }
  if (cursor < begin || cursor > end) std::abort();
  const char* rest = cursor;
  if (NextListField(slot.data(), &cursor) || cursor != rest) std::abort();
  return 0;
}
