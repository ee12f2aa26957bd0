// The compressed block format, shared by the encoder and the decoder.
//
// A block is a stream of tokens read through 32-bit control words (little
// endian, most significant bit first) with byte fields between them: a 1
// bit and a byte is a literal; 01 is a short match of 2 bytes (a selector
// bit, then a byte, or a byte and 3 bits, for the distance); 00 is a long
// match (a distance prefix, a byte and low bits, then a length field).
#pragma once
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>

constexpr unsigned kControlWordBits = 32;
constexpr size_t kControlWordBytes = kControlWordBits / 8;

// A short match's distance code: one byte below 256, a byte and 3 bits
// above; the largest code is no distance but the end of the block.
constexpr unsigned kEndCode = 256 + (255u << 3) + 7u;
constexpr size_t kMaxShortDistance = kEndCode;  // codes 0 to kEndCode - 1, plus 1

// A long match's distance field, after its kind bits 00: a prefix (1, 01,
// 001, 0001 or 0000), a byte, then low bits, which with the byte count up
// from the form's base for distance - 1. The form is the one of index
// DistanceFieldIndex(distance - 1), the width of the bits above the ninth,
// so that the writer picks it without a branch.
struct DistanceField {
  uint8_t prefix, prefixBits, lowBits;
  uint16_t base;
};
constexpr unsigned kLongKindBits = 2;
constexpr DistanceField kDistanceFields[] = {
    {0b1, 1, 1, 0}, {0b01, 2, 1, 512}, {0b001, 3, 2, 1024},
    {0b0001, 4, 3, 2048}, {0b0000, 4, 4, 4096}};
constexpr unsigned kDistanceFieldCount = std::size(kDistanceFields);
constexpr unsigned DistanceFieldIndex(unsigned value) {
  return unsigned(std::bit_width(value >> 9));
}
// Each form takes up where the one before ends, and is the one its
// distances pick.
static_assert([] {
  for (unsigned i = 0; i < kDistanceFieldCount; ++i) {
    const DistanceField f = kDistanceFields[i];
    const unsigned end = f.base + (256u << f.lowBits);
    if (DistanceFieldIndex(f.base) != i || DistanceFieldIndex(end - 1) != i) return false;
    if (i + 1 < kDistanceFieldCount && end != kDistanceFields[i + 1].base) return false;
  }
  return kDistanceFields[0].base == 0;
}());

// Long matches: distances up to the last form's base and its byte and low
// bits; lengths from 3, the longest one through its byte field.
constexpr size_t kMinLongLength = 3;
constexpr size_t kLongLengthByteBase = 27;
constexpr size_t kMaxLength = kLongLengthByteBase + 255;
constexpr size_t kMaxDistance = kDistanceFields[kDistanceFieldCount - 1].base +
                                (256u << kDistanceFields[kDistanceFieldCount - 1].lowBits);

// A long match's length field: a prefix of zeros ended by a 1, then low
// bits (1, 01, 001x, 0001xx, 00001xxxx for 3, 4, 5-6, 7-10, 11-26), read
// most significant bit first; from kLongLengthByteBase on, 00000 and a byte.
struct LengthField {
  uint8_t code, bits;
};
constexpr unsigned kLengthByteFormBits = 5;
constexpr auto kLengthFields = [] {
  std::array<LengthField, kLongLengthByteBase> fields{};
  for (unsigned len = kMinLongLength; len < kLongLengthByteBase; ++len) {
    if (len == 3) fields[len] = {0b1, 1};
    else if (len == 4) fields[len] = {0b01, 2};
    else if (len <= 6) fields[len] = {uint8_t(0b0010 | (len - 5)), 4};
    else if (len <= 10) fields[len] = {uint8_t(0b000100 | (len - 7)), 6};
    else fields[len] = {uint8_t(0b000010000 | (len - 11)), 9};
  }
  return fields;
}();

// The longest match at its cheapest: kind bits, the nearest distance form,
// the length's byte form.
constexpr unsigned kLongestMatchBits = kLongKindBits + kDistanceFields[0].prefixBits + 8 +
                                       kDistanceFields[0].lowBits + kLengthByteFormBits + 8;

// No block decodes to more than this many bytes per byte of the block.
constexpr uint64_t kMaxBlockExpansion = (kMaxLength * 8) / kLongestMatchBits + 1;
