// Patch applier: decodes the operations of core/patch_format.h into a ring
// that holds the patch's window of the new file, and hands the new bytes to
// the sink piece by piece. An old copy's bytes are read into the ring and
// its few differences added there, so an unchanged stretch costs a read
// and no decoding per byte.
#include "package/patch_apply.h"

#include <cstdlib>
#include <cstring>

#include "core/patch_format.h"

namespace {

using namespace patch;

// The new file goes to the sink in pieces of this size, soon after they are
// made, while they are still in the processor's cache.
constexpr uint32_t kPieceSize = 256 * 1024;
// The old file is read three ways. Long parts of a copy go straight into
// the output. Shorter ones come through a stream that reads ahead, as the
// copies of one alignment follow each other through the old file. The
// shortest, often the scattered copies of a gap, come from the stream when
// it holds them, otherwise through a small cache of direct-mapped pages,
// so that each costs a page and not a stream's read.
constexpr uint32_t kDirectRead = 64 * 1024;
constexpr uint32_t kStreamSize = 256 * 1024;
constexpr uint32_t kShortRead = 256;
constexpr uint32_t kPageBits = 12;
constexpr uint32_t kPageSize = uint32_t(1) << kPageBits;
constexpr uint32_t kMaxPages = 64;

uint32_t PowerOfTwoAtLeast(uint64_t n, uint32_t limit) {
  uint32_t p = 1;
  while (p < n && p < limit) p *= 2;
  return p;
}

// The range decoder, a value the hot loops keep in registers.
struct RangeDecoder {
  const uint8_t* in;
  const uint8_t* end;
  uint32_t range, code;
  bool damaged;  // read past the stream, or a value no patch holds

  void Normalize() {
    while (range < kRangeTop) {
      range <<= 8;
      code <<= 8;
      if (in != end) code |= *in++;
      else damaged = true;
    }
  }
  // With a branch on the bit: most bits are well predicted, and a form
  // without measured slower.
  template <unsigned Shift = kAdaptShift>
  unsigned Bit(uint16_t& p) {
    const uint32_t bound = (range >> kProbBits) * p;
    unsigned bit;
    if (code < bound) {
      range = bound;
      p = uint16_t(p + (((1u << kProbBits) - p) >> Shift));
      bit = 0;
    } else {
      code -= bound;
      range -= bound;
      p = uint16_t(p - (p >> Shift));
      bit = 1;
    }
    Normalize();
    return bit;
  }
  template <unsigned Shift = kAdaptShift>
  unsigned Tree(uint16_t* probs, unsigned bits) {
    unsigned node = 1;
    for (unsigned i = 0; i < bits; ++i) node = node * 2 + Bit<Shift>(probs[node]);
    return node - (1u << bits);
  }
  template <unsigned Shift = kAdaptShift>
  uint32_t Number(uint16_t* model) {
    const unsigned k = Bit<Shift>(model[0])
                           ? kNumberSmallClasses + Tree<Shift>(model + kNumberLargeAt, kNumberLargeBits)
                           : Tree<Shift>(model, kNumberSmallBits);
    if (k > 31) {  // no 32-bit number
      damaged = true;
      return 0;
    }
    const unsigned top = k < kNumberTopBits ? k : kNumberTopBits;
    uint32_t low = Tree<Shift>(model + kNumberTopAt + (size_t(k) << kNumberTopBits), top);
    for (unsigned i = top; i < k; ++i) {
      range >>= 1;
      const unsigned bit = code >= range;
      code -= range & (0u - bit);
      low = low * 2 + bit;
      Normalize();
    }
    return ((uint32_t(1) << k) | low) - 1;
  }
};

class Applier {
 public:
  Applier(const uint8_t* patch, uint32_t patchSize, uint32_t oldSize, uint32_t newSize,
          PatchOldFile old, PatchSink sink)
      : rc_{patch, patch + patchSize, 0xFFFFFFFF, 0, false}, oldSize_(oldSize),
        newSize_(newSize), old_(old), sink_(sink) {}
  ~Applier() { std::free(memory_); }

  bool Run();

 private:
  template <unsigned Shift = kAdaptShift>
  unsigned Bit(uint16_t& p) { return rc_.Bit<Shift>(p); }
  template <unsigned Shift = kAdaptShift>
  unsigned Tree(uint16_t* probs, unsigned bits) { return rc_.Tree<Shift>(probs, bits); }
  template <unsigned Shift = kAdaptShift>
  uint32_t Number(size_t model) { return rc_.Number<Shift>(probs_ + model); }

  // Output: pos_ bytes made so far, the last ones in the ring. The room
  // ends where the piece does.
  uint8_t* Room(uint32_t* room) {
    *room = pieceMask_ + 1 - (pos_ & pieceMask_);
    return ring_ + (pos_ & ringMask_);
  }
  // Counts `n` bytes as made; a full piece goes to the sink.
  bool Advance(uint32_t n) {
    pos_ += n;
    if ((pos_ & pieceMask_) != 0 && pos_ != newSize_) return true;
    const uint32_t size = pos_ - flushed_;
    flushed_ = pos_;
    return sink_.write(sink_.ctx, ring_ + ((pos_ - size) & ringMask_), size);
  }

  bool ReadOld(uint32_t from, uint8_t* to, uint32_t n);
  bool OldCopy(unsigned state);
  bool NewCopy(unsigned state);
  bool RawCopy();
  bool ReadHeader(uint32_t* windowBits);

  RangeDecoder rc_;
  // The raw bytes, before the range-coded stream.
  const uint8_t* raw_ = nullptr;
  const uint8_t* rawEnd_ = nullptr;

  const uint32_t oldSize_, newSize_;
  PatchOldFile old_;
  PatchSink sink_;

  void* memory_ = nullptr;
  uint16_t* probs_ = nullptr;
  uint8_t* ring_ = nullptr;
  uint32_t window_ = 0, ringMask_ = 0, pieceMask_ = 0;
  uint32_t pos_ = 0, flushed_ = 0;
  uint8_t* stream_ = nullptr;
  uint32_t streamSize_ = 0, streamStart_ = 0, streamFill_ = 0;
  uint8_t* pages_ = nullptr;
  uint32_t* pageTags_ = nullptr;
  uint32_t pageMask_ = 0;

  Alignments aligns_;
  uint32_t lastDistance_ = 0;
  // The last difference, whether it spilled into the next byte, and the
  // recent ones by context.
  unsigned previous_ = 0;
  bool spill_ = false;
  RecentDiffs recent_;
};

bool Applier::ReadOld(uint32_t from, uint8_t* to, uint32_t n) {
  if (n >= kDirectRead) return old_.read(old_.ctx, from, to, n);
  const bool inStream = from >= streamStart_ && from + n - streamStart_ <= streamFill_;
  if (!inStream && n >= kShortRead) {
    streamStart_ = from & ~(kPageSize - 1);
    streamFill_ = oldSize_ - streamStart_ < streamSize_ ? oldSize_ - streamStart_ : streamSize_;
    if (!old_.read(old_.ctx, streamStart_, stream_, streamFill_)) {
      streamFill_ = 0;
      return false;
    }
  }
  if (inStream || n >= kShortRead) {
    std::memcpy(to, stream_ + (from - streamStart_), n);
    return true;
  }
  while (n != 0) {
    const uint32_t page = from >> kPageBits, slot = page & pageMask_;
    uint8_t* bytes = pages_ + (size_t(slot) << kPageBits);
    if (pageTags_[slot] != page) {
      const uint32_t start = page << kPageBits;
      const uint32_t size = oldSize_ - start < kPageSize ? oldSize_ - start : kPageSize;
      pageTags_[slot] = ~uint32_t(0);
      if (!old_.read(old_.ctx, start, bytes, size)) return false;
      pageTags_[slot] = page;
    }
    const uint32_t at = from & (kPageSize - 1);
    const uint32_t take = n < kPageSize - at ? n : kPageSize - at;
    std::memcpy(to, bytes + at, take);
    to += take;
    from += take;
    n -= take;
  }
  return true;
}

bool Applier::OldCopy(unsigned state) {
  const bool useBefore = Bit(probs_[kUseBefore + state]);
  int64_t align = useBefore ? aligns_.before : aligns_.last;
  const bool same = Bit(probs_[kSameAlign + state]);
  if (!same) {
    const bool backwards = Bit(probs_[kAlignSign + useBefore]);
    const int64_t distance = int64_t(Number(kAlignDistance)) + 1;
    align += backwards ? -distance : distance;
  }
  const uint64_t length = uint64_t(Number(kOldLength + (same ? 0 : kNumberModelSize))) + 1;
  const int64_t from = int64_t(pos_) + align;
  if (from < 0 || uint64_t(from) + length > oldSize_ || length > newSize_ - pos_) return false;
  aligns_.Use(align);

  // The next nonzero difference: its index in the copy (`length` for
  // none) and its value, decoded one ahead of the bytes; whether the one
  // before it spilled is known once that one is applied. The decoder and
  // the differences' state stay in registers meanwhile.
  RangeDecoder rc = rc_;
  uint16_t* const probs = probs_;
  unsigned previous = previous_;
  bool spill = spill_;
  uint32_t diffs = 0;
  uint64_t next = 0;
  auto decodeNext = [&](uint64_t at) {
    RangeDecoder d = rc;  // in registers for the one difference
    const unsigned gapContext = DiffGapContext(previous, spill, diffs == 0);
    if (at < length && d.Bit<kFastShift>(probs[kDiffAtNext + gapContext])) {
      next = at;
    } else {
      uint16_t* model = probs + kDiffGap + gapContext * kDiffGapSize;
      const uint64_t gap = d.Bit<kFastShift>(model[0])
                               ? uint64_t(d.Number<kFastShift>(model + kShortGaps)) + kShortGaps
                               : d.Tree<kFastShift>(model, kShortGapBits);
      if (gap == 0) {  // none: the list's end
        rc = d;
        next = length;
        return true;
      }
      next = at + gap;
      if (next >= length) return false;
    }
    const unsigned context = DiffByteContext(previous, next == at && diffs != 0, spill);
    const uint8_t* seen = recent_.values[context];
    if (d.Bit<kFastShift>(probs[kDiffRecent + 2 * context])) {
      previous = seen[0];
    } else if (d.Bit<kFastShift>(probs[kDiffRecent + 2 * context + 1])) {
      previous = seen[1];
    } else {
      previous = d.Tree<kFastShift>(probs + kDiffByte + 256 * context, 8);
    }
    rc = d;
    recent_.Use(context, uint8_t(previous));
    ++diffs;
    return true;
  };
  // Each difference is decoded once the one before it is applied, when it
  // could be in the piece at hand.
  bool ok = true, pending = true;
  uint64_t at = 0;
  uint32_t source = uint32_t(from);
  for (uint64_t done = 0; ok && done < length;) {
    uint32_t room;
    uint8_t* to = Room(&room);
    const uint32_t piece = length - done < room ? uint32_t(length - done) : room;
    ok = ReadOld(source, to, piece);
    while (ok) {
      if (pending) {
        ok = decodeNext(at);
        pending = false;
        continue;
      }
      if (next >= done + piece) break;
      uint8_t& byte = to[next - done];
      spill = Spills(byte, uint8_t(previous));
      byte = uint8_t(byte + previous);
      at = next + 1;
      pending = true;
    }
    source += piece;
    done += piece;
    ok = ok && Advance(piece);
  }
  rc_ = rc;
  previous_ = previous;
  spill_ = spill;
  return ok;
}

bool Applier::RawCopy() {
  const uint64_t length = uint64_t(Number(kRawLength)) + 1;
  if (length > newSize_ - pos_ || length > uint64_t(rawEnd_ - raw_)) return false;
  for (uint32_t left = uint32_t(length); left != 0;) {
    uint32_t room;
    uint8_t* to = Room(&room);
    const uint32_t piece = left < room ? left : room;
    std::memcpy(to, raw_, piece);
    raw_ += piece;
    left -= piece;
    if (!Advance(piece)) return false;
  }
  return true;
}

bool Applier::NewCopy(unsigned state) {
  uint32_t distance = lastDistance_;
  if (!Bit(probs_[kNewRepeat + state])) distance = Number(kNewDistance) + 1;
  const uint64_t length = uint64_t(Number(kNewLength)) + kMinNewLength;
  if (distance == 0 || distance > pos_ || distance > window_ || length > newSize_ - pos_)
    return false;
  lastDistance_ = distance;
  for (uint32_t left = uint32_t(length); left != 0;) {
    uint32_t room;
    uint8_t* to = Room(&room);
    const uint8_t* from = ring_ + ((pos_ - distance) & ringMask_);
    const uint32_t sourceRoom = uint32_t(ring_ + ringMask_ + 1 - from);
    uint32_t piece = left < room ? left : room;
    if (piece > sourceRoom) piece = sourceRoom;
    if (distance >= piece) {
      std::memmove(to, from, piece);
    } else {
      for (uint32_t i = 0; i < piece; ++i) to[i] = from[i];  // repeats the last `distance`
    }
    left -= piece;
    if (!Advance(piece)) return false;
  }
  return true;
}

// The window's bits and the raw bytes' count and place.
bool Applier::ReadHeader(uint32_t* windowBits) {
  const uint8_t*& in = rc_.in;
  if (in == rc_.end) return false;
  *windowBits = *in++;
  if (*windowBits < kMinWindowBits || *windowBits > kMaxWindowBits) return false;
  uint64_t rawSize = 0;
  for (unsigned shift = 0;; shift += 7) {
    if (in == rc_.end || shift > 28) return false;
    const uint8_t byte = *in++;
    rawSize |= uint64_t(byte & 0x7F) << shift;
    if (!(byte & 0x80)) break;
  }
  if (rawSize > uint64_t(rc_.end - in)) return false;
  raw_ = in;
  rawEnd_ = in + rawSize;
  in = rawEnd_;
  return true;
}

bool Applier::Run() {
  uint32_t windowBits;
  if (!ReadHeader(&windowBits)) return false;
  window_ = uint32_t(1) << windowBits;
  // Nothing bigger than the files need.
  const uint32_t ringSize =
      PowerOfTwoAtLeast(newSize_, window_ > kPieceSize ? window_ : kPieceSize);
  const uint32_t pages = PowerOfTwoAtLeast((uint64_t(oldSize_) + kPageSize - 1) >> kPageBits,
                                           kMaxPages);
  streamSize_ = oldSize_ < kStreamSize ? oldSize_ : kStreamSize;
  const size_t probBytes = kModelSize * sizeof(uint16_t);
  const size_t tagBytes = pages * sizeof(uint32_t);
  memory_ = std::malloc(probBytes + tagBytes + ringSize + (size_t(pages) << kPageBits) +
                        streamSize_);
  if (memory_ == nullptr) return false;
  // Each part at an offset its type's alignment divides.
  pageTags_ = static_cast<uint32_t*>(memory_);
  probs_ = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(memory_) + tagBytes);
  ring_ = static_cast<uint8_t*>(memory_) + tagBytes + probBytes;
  pages_ = ring_ + ringSize;
  stream_ = pages_ + (size_t(pages) << kPageBits);
  ringMask_ = ringSize - 1;
  pieceMask_ = (ringSize < kPieceSize ? ringSize : kPieceSize) - 1;
  pageMask_ = pages - 1;
  for (size_t i = 0; i < kModelSize; ++i) probs_[i] = kProbInit;
  for (uint32_t i = 0; i < pages; ++i) pageTags_[i] = ~uint32_t(0);

  for (int i = 0; i < 4; ++i) {
    rc_.code <<= 8;
    if (rc_.in != rc_.end) rc_.code |= *rc_.in++;
    else rc_.damaged = true;
  }
  unsigned state = 0;
  while (pos_ < newSize_) {
    unsigned kind;
    if (!Bit(probs_[kIsMatch + state])) {
      const unsigned before = pos_ != 0 ? ring_[(pos_ - 1) & ringMask_] : 0;
      uint32_t room;
      *Room(&room) = uint8_t(Tree(probs_ + kLiteral + 256 * before, 8));
      if (!Advance(1)) return false;
      kind = kLiteralKind;
    } else if (Bit(probs_[kIsOld + state])) {
      if (!OldCopy(state)) return false;
      kind = kOldKind;
    } else if (Bit(probs_[kIsRaw + state])) {
      if (!RawCopy()) return false;
      kind = kRawKind;
    } else {
      if (!NewCopy(state)) return false;
      kind = kNewKind;
    }
    if (rc_.damaged) return false;
    state = NextState(state, kind);
  }
  // The stream and the raw bytes must end exactly here.
  return !rc_.damaged && rc_.in == rc_.end && raw_ == rawEnd_;
}

}  // namespace

bool ApplyPatch(const uint8_t* patch, uint32_t patchSize, uint32_t oldSize,
                uint32_t newSize, PatchOldFile old, PatchSink sink) {
  Applier applier(patch, patchSize, oldSize, newSize, old, sink);
  return applier.Run();
}
