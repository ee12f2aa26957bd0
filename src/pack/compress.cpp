// Block writer: finds matches with hash chains and writes the tokens in the
// order the decoder reads them, each control word in the place the decoder
// will load it from.
#include "pack/compress.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

#include "core/block_format.h"
#include "core/le.h"

namespace {

// How far down a hash chain each level looks: the bound that keeps long
// repetitive inputs fast.
constexpr unsigned kGreedyChainDepth = 128;
constexpr unsigned kBestChainDepth = 256;
// A match this long is taken at once by the best parse; the few bits that
// a finer parse could still save do not pay for the time.
constexpr size_t kBestTakeAtOnce = 64;
// Inside a match at least kCoverLength long the best parse searches only
// the last kCoverMargin positions (short enough to spare the search on
// noisy pixels, where a match of 6 is already long); the others are offered
// the rest of that match, and the kCoverPieces lengths just short of it.
constexpr size_t kCoverLength = 6;
constexpr size_t kCoverMargin = 2;
constexpr size_t kCoverPieces = 4;

// Writes into `out` through plain pointers, which the compiler can keep in
// registers: a vector's own would be reloaded after every byte stored.
class BitWriter {
 public:
  // Room for `expected` bytes is made at once; more as needed.
  BitWriter(std::vector<uint8_t>& out, size_t expected) : out_(out) {
    out_.resize(expected + kTokenRoom);
    Rebase(0, 0);
    cursor_ += 4;
  }

  // Makes room for one token or the end: a control word and a few bytes.
  void Room() {
    if (size_t(limit_ - cursor_) < kTokenRoom) {
      const size_t word = size_t(word_at_ - out_.data()), at = size_t(cursor_ - out_.data());
      out_.resize(out_.size() * 2);
      Rebase(word, at);
    }
  }

  // A control word is stored only when a bit for the next one arrives, so
  // byte fields written meanwhile stand ahead of the next word, exactly where
  // the decoder will look for them.
  void Bit(unsigned bit) {
    if (used_ == 32) NextWord();
    word_ |= uint32_t(bit & 1) << (31 - used_);
    ++used_;
  }

  // The same as one Bit() after another for the low `count` (at most 24)
  // bits of `value`; no bits at all start no word.
  void Bits(unsigned value, unsigned count) {
    value &= (1u << count) - 1;
    if (used_ + count > 32) {
      const unsigned rest = used_ + count - 32;  // bits for the next word
      word_ |= value >> rest;
      NextWord();
      value &= (1u << rest) - 1;
      count = rest;
    }
    word_ |= uint32_t(uint64_t(value) << (32 - used_ - count));
    used_ += count;
  }

  void Byte(unsigned value) { *cursor_++ = uint8_t(value); }

  void Finish() {
    StoreLe32(word_at_, word_);
    out_.resize(size_t(cursor_ - out_.data()));
  }

 private:
  // A token has at most 32 bits of control words and two bytes; the end
  // code a byte and one bit more.
  static constexpr size_t kTokenRoom = 16;

  void Rebase(size_t word, size_t at) {
    word_at_ = out_.data() + word;
    cursor_ = out_.data() + at;
    limit_ = out_.data() + out_.size();
  }

  void NextWord() {
    StoreLe32(word_at_, word_);
    word_at_ = cursor_;
    cursor_ += 4;
    word_ = 0;
    used_ = 0;
  }

  std::vector<uint8_t>& out_;
  uint8_t* word_at_;
  uint8_t* cursor_;
  uint8_t* limit_;
  uint32_t word_ = 0;
  unsigned used_ = 0;
};

// Inlined where the parse writes its tokens: calls cost a tenth of its time.
[[gnu::always_inline]] inline void WriteLiteral(BitWriter& w, uint8_t value) {
  w.Room();
  w.Bit(1);
  w.Byte(value);
}

[[gnu::always_inline]] inline void WriteShortMatch(BitWriter& w, size_t distance) {
  w.Room();
  const unsigned value = unsigned(distance - 1);
  if (value < 256) {
    w.Bits(0b010, 3);
    w.Byte(value);
  } else {
    w.Bits(0b011, 3);
    w.Byte((value - 256) >> 3);
    w.Bits(value - 256, 3);
  }
}

// The distance fields with the kind bits 00 counted in the prefix, which
// is written with them.
constexpr auto kHeadFields = [] {
  std::array<DistanceField, kDistanceFieldCount> fields{};
  for (unsigned i = 0; i < kDistanceFieldCount; ++i) {
    fields[i] = kDistanceFields[i];
    fields[i].prefixBits += kLongKindBits;
  }
  return fields;
}();

// The kind bits 00 and the distance's prefix, the distance's byte, then its
// low bits together with the length field.
[[gnu::always_inline]] inline void WriteLongMatch(BitWriter& w, size_t distance,
                                                  size_t length) {
  w.Room();
  const unsigned value = unsigned(distance - 1);
  const DistanceField& f = kHeadFields[DistanceFieldIndex(value)];
  const unsigned lowBits = f.lowBits;
  w.Bits(f.prefix, f.prefixBits);
  w.Byte((value - f.base) >> lowBits);
  const unsigned low = value & ((1u << lowBits) - 1);
  if (length < kLongLengthByteBase) {
    const LengthField field = kLengthFields[length];
    w.Bits(low << field.bits | field.code, lowBits + field.bits);
  } else {
    w.Bits(low << kLengthByteFormBits, lowBits + kLengthByteFormBits);
    w.Byte(unsigned(length - kLongLengthByteBase));
  }
}

// The end code, then the closing 1 bit that the packages carry after it.
void WriteEnd(BitWriter& w) {
  w.Room();
  w.Bits(0b011, 3);
  w.Byte((kEndCode - 256) >> 3);
  w.Bits(kEndCode - 256, 3);
  w.Bit(1);
  w.Finish();
}

// Bits of each token, for the best parse.
constexpr uint32_t kLiteralCost = 9;

uint32_t ShortMatchCost(size_t distance) { return distance <= 256 ? 11 : 14; }

// A long match's kind bits and distance field, by the same width of the
// distance that picks the field's form.
uint32_t LongDistanceCost(size_t distance) {
  static constexpr auto kBits = [] {
    std::array<uint8_t, kDistanceFieldCount> bits{};
    for (unsigned i = 0; i < kDistanceFieldCount; ++i) {
      const DistanceField f = kHeadFields[i];
      bits[i] = uint8_t(f.prefixBits + 8 + f.lowBits);
    }
    return bits;
  }();
  return kBits[DistanceFieldIndex(unsigned(distance - 1))];
}

// The length field's bits for every length.
constexpr auto kLengthBits = [] {
  std::array<uint8_t, kMaxLength + 1> bits{};
  for (size_t len = kMinLongLength; len <= kMaxLength; ++len) {
    bits[len] = len < kLongLengthByteBase ? kLengthFields[len].bits
                                          : uint8_t(kLengthByteFormBits + 8);
  }
  return bits;
}();

uint32_t LongMatchCost(size_t distance, size_t length) {
  return LongDistanceCost(distance) + kLengthBits[length];
}

constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

// How far back from `pos` an entered position stands; an empty slot's kNone
// stands beyond every reach. Taken in 64 bits: in 32, `pos` minus kNone
// wraps around to `pos + 1`, well within reach. (With 64-bit words the
// clamp is no code at all.)
inline size_t DistanceBack(size_t pos, uint32_t entered) {
  const uint64_t distance = uint64_t(pos) - entered;
  return distance > std::numeric_limits<size_t>::max() ? std::numeric_limits<size_t>::max()
                                                       : size_t(distance);
}

// How many of the first `limit` bytes at `a` and `b` agree, eight at a time,
// so that a long match costs a few steps. Inlined into every search loop,
// where most calls end at the first word.
[[gnu::always_inline]] inline size_t MatchLength(const uint8_t* a, const uint8_t* b,
                                                 size_t limit) {
  size_t length = 0;
  for (; length + 8 <= limit; length += 8) {
    uint64_t x, y;
    std::memcpy(&x, a + length, 8);
    std::memcpy(&y, b + length, 8);
    if (uint64_t diff = x ^ y) {
      return length + size_t(std::endian::native == std::endian::little
                                 ? std::countr_zero(diff)
                                 : std::countl_zero(diff)) / 8;
    }
  }
  while (length < limit && a[length] == b[length]) ++length;
  return length;
}

// Earlier positions whose keys hash alike, newest first, as far back as a
// match can reach. Tables grow with the input, so small blocks are cheap.
class Chains {
 public:
  Chains(size_t size, unsigned bits)
      : bits_(bits), head_(size_t(1) << bits, kNone), prev_(std::min(size, kMaxDistance)) {}

  uint32_t Slot(uint32_t key) const { return (key * 2654435761u) >> (32 - bits_); }

  uint32_t First(uint32_t slot) const { return head_[slot]; }

  // The next older position than one within kMaxDistance of the newest
  // entered, whose slot no newer position can have reused yet.
  uint32_t Next(uint32_t pos) const { return prev_[pos % kMaxDistance]; }

  void Insert(uint32_t slot, size_t pos) {
    uint32_t& head = head_[slot];
    prev_[pos % kMaxDistance] = head;
    head = uint32_t(pos);
  }

 private:
  unsigned bits_;
  std::vector<uint32_t> head_;
  std::vector<uint32_t> prev_;
};

// Bits of a table's slot index: as many as the input has positions, up to
// `most`, so that small blocks are cheap.
unsigned HashBits(size_t size, unsigned most) {
  unsigned bits = 8;
  while (bits < most && (size_t(1) << bits) < size) ++bits;
  return bits;
}

// Slots of the table of pairs: one for every pair from this size on.
constexpr unsigned kPairBits = 16;
// Slots of the triples' chain heads. Above the pairs' 16 bits: on noisy
// data fewer unlike triples share a chain, and the walks end sooner.
constexpr unsigned kTripleBits = 17;

bool PairsExact(size_t size) { return HashBits(size, kPairBits) == kPairBits; }

// The newest earlier position of every byte pair: the first pair equal to
// the one at a position is the nearest, so no chain is needed. A large
// input gives every pair a slot (kExact); a small one a table of its own
// size, where pairs that share a slot displace each other and a look-up
// checks the bytes.
template <bool kExact>
class Pairs {
 public:
  explicit Pairs(size_t size)
      : bits_(HashBits(size, kPairBits)), last_(size >= 2 ? size_t(1) << bits_ : 0, kNone) {}

  // Whether a slot holds one pair only, so that its bytes need no check.
  static constexpr bool Exact() { return kExact; }

  uint32_t Slot(const uint8_t* p) const {
    const uint32_t pair = uint32_t(p[0]) << 8 | p[1];
    return Exact() ? pair : (pair * 2654435761u) >> (32 - bits_);
  }

  // The newest position entered in `slot`, kNone if none.
  uint32_t Last(uint32_t slot) const { return last_[slot]; }

  void Insert(uint32_t slot, size_t pos) { last_[slot] = uint32_t(pos); }

 private:
  unsigned bits_;
  std::vector<uint32_t> last_;
};

uint32_t Triple(const uint8_t* p) {
  return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

// Chains over 3-byte prefixes for long matches, and the pairs for short
// ones. Positions are sought in order, each searched (or not) and then
// entered; a position's slots are found once for both.
template <bool kExactPairs>
class MatchFinder {
 public:
  MatchFinder(const uint8_t* data, size_t size)
      : data_(data), size_(size), triples_(size, HashBits(size, kTripleBits)), pairs_(size) {}

  void Seek(size_t pos) {
    pos_ = pos;
    pairDistance_ = kNoPair;
    if (size_ - pos < 2) return;
    pairSlot_ = pairs_.Slot(data_ + pos);
    pairDistance_ = DistanceBack(pos, pairs_.Last(pairSlot_));
    if (size_ - pos >= kMinLongLength) tripleSlot_ = triples_.Slot(Triple(data_ + pos));
  }

  // Distance of the nearest earlier pair equal to the two bytes here when a
  // short match reaches it, else 0. No branch decides it in a small table
  // (on noisy data a match is a toss-up): an empty or distant slot compares
  // the pair with itself.
  size_t ShortMatch() const {
    if (size_ - pos_ < 2) return 0;
    const bool inReach = pairDistance_ <= kMaxShortDistance;
    if (pairs_.Exact()) return pairDistance_ & (size_t(0) - size_t(inReach));
    const size_t candidate = inReach ? pos_ - pairDistance_ : pos_;
    const bool equal = ((data_[candidate] ^ data_[pos_]) |
                        (data_[candidate + 1] ^ data_[pos_ + 1])) == 0;
    return pairDistance_ & (size_t(0) - size_t(inReach & equal));
  }

  // Calls found(length, distance) for each match here longer than
  // `shorter` and than every nearer one, nearest first, among the newest
  // `depth` candidates: for each length the cheapest distance.
  template <class Found>
  void LongMatches(size_t shorter, unsigned depth, Found found) const {
    const size_t limit = std::min(kMaxLength, size_ - pos_);
    if (limit < kMinLongLength || limit <= shorter) return;
    const uint8_t* here = data_ + pos_;
    size_t best = shorter;
    Walk(depth, [&](size_t distance) {
      const uint8_t* there = here - distance;
      if (there[best] != here[best]) return true;
      const size_t length = MatchLength(there, here, limit);
      if (length <= best) return true;
      best = length;
      found(length, distance);
      return length < limit;
    });
  }

  // Calls found(length, distance) for every match here longer than
  // `shorter` among the newest `depth` candidates, nearest first.
  template <class Found>
  void MatchesLongerThan(size_t shorter, unsigned depth, Found found) const {
    const size_t limit = std::min(kMaxLength, size_ - pos_);
    if (limit < kMinLongLength || limit <= shorter) return;
    const uint8_t* here = data_ + pos_;
    Walk(depth, [&](size_t distance) {
      const uint8_t* there = here - distance;
      if (there[shorter] != here[shorter]) return true;
      const size_t length = MatchLength(there, here, limit);  // its hash may be another's
      if (length > shorter) found(length, distance);
      return true;
    });
  }

  // Enters the position sought.
  void Insert() {
    if (size_ - pos_ < 2) return;
    pairs_.Insert(pairSlot_, pos_);
    if (size_ - pos_ >= kMinLongLength) triples_.Insert(tripleSlot_, pos_);
  }

  // Enters a position that is not searched.
  void Skip(size_t pos) {
    if (size_ - pos < 2) return;
    pairs_.Insert(pairs_.Slot(data_ + pos), pos);
    if (size_ - pos >= kMinLongLength) triples_.Insert(triples_.Slot(Triple(data_ + pos)), pos);
  }

 private:
  static constexpr size_t kNoPair = std::numeric_limits<size_t>::max();

  // Calls visit(distance) for the newest `depth` earlier positions whose
  // keys hash like the one here, newest first, while it returns true. None
  // are when the pair itself was not seen within a long match's reach (an
  // exact pair table tells).
  template <class Visit>
  void Walk(unsigned depth, Visit visit) const {
    if (pairs_.Exact() && pairDistance_ > kMaxDistance) return;
    for (uint32_t candidate = triples_.First(tripleSlot_); depth--;
         candidate = triples_.Next(candidate)) {
      const size_t distance = DistanceBack(pos_, candidate);
      if (distance > kMaxDistance || !visit(distance)) break;
    }
  }

  const uint8_t* data_;
  size_t size_;
  Chains triples_;
  Pairs<kExactPairs> pairs_;
  size_t pos_ = 0;
  size_t pairDistance_ = kNoPair;
  uint32_t pairSlot_ = 0, tripleSlot_ = 0;
};

template <bool kExactPairs>
void CompressGreedy(const uint8_t* data, size_t size, BitWriter& w) {
  MatchFinder<kExactPairs> finder(data, size);
  size_t pos = 0;
  while (pos < size) {
    size_t length = 0, distance = 0;
    finder.Seek(pos);
    finder.LongMatches(kMinLongLength - 1, kGreedyChainDepth, [&](size_t l, size_t d) {
      length = l;
      distance = d;
    });
    size_t step = 1;
    if (length >= kMinLongLength) {
      WriteLongMatch(w, distance, length);
      step = length;
    } else if (size_t shortDistance = finder.ShortMatch()) {
      WriteShortMatch(w, shortDistance);
      step = 2;
    } else {
      WriteLiteral(w, data[pos]);
    }
    finder.Insert();
    for (size_t end = pos + step; ++pos < end;) finder.Skip(pos);
  }
}

// A cheapest parse in bits: every token's cost is fixed, so a shortest
// path over the positions, with the match finder's candidates as edges,
// gives the smallest block for those candidates. Done a segment at a time,
// small enough that its steps stay in the cache; tokens do not cross a
// segment's end, which costs a few bits per segment.
//
// Positions inside a long match are not searched (on repetitive text they
// are most of the time): they only get a literal, a short match and the
// rest of the long match, whole or nearly. A match that starts among them and runs on past
// the long one's end is found at the first position searched again and
// followed back over them.
template <bool kExactPairs>
void CompressBest(const uint8_t* data, size_t size, BitWriter& w) {
  // The cheapest way found to a position: its cost in bits above 32, the
  // length of the token that ends there (1 for a literal) and its distance
  // in 16 bits each below, so that the smaller step is the cheaper one and
  // keeping it takes no branch.
  using Step = uint64_t;
  auto costOf = [](Step s) { return uint32_t(s >> 32); };
  auto lengthOf = [](Step s) { return size_t(uint16_t(s >> 16)); };
  auto distanceOf = [](Step s) { return size_t(uint16_t(s)); };
  constexpr size_t kSegment = size_t(1) << 14;
  MatchFinder<kExactPairs> finder(data, size);
  std::vector<Step> best;
  std::vector<Step> tokens;
  for (size_t start = 0; start < size; start += kSegment) {
    size_t end = std::min(size, start + kSegment);
    best.assign(end - start + 1, std::numeric_limits<Step>::max());
    best[0] = 0;
    auto relax = [&](size_t to, uint32_t bits, size_t length, size_t distance) {
      Step& step = best[to - start];
      step = std::min(step, Step(bits) << 32 | length << 16 | distance);
    };
    // The long match being skipped through, and the latest run of
    // positions skipped, [skippedFrom, skippedTo).
    size_t coverEnd = 0, coverDistance = 0;
    size_t skippedFrom = start, skippedTo = start;
    for (size_t pos = start; pos < end;) {
      const uint32_t base = costOf(best[pos - start]);
      const size_t room = end - pos;
      relax(pos + 1, base + kLiteralCost, 1, 0);
      finder.Seek(pos);
      const size_t near = finder.ShortMatch();
      if (near != 0 && room >= 2) relax(pos + 2, base + ShortMatchCost(near), 2, near);
      if (pos + kCoverMargin < coverEnd) {
        const size_t rest = coverEnd - pos;
        for (size_t l = std::max(kMinLongLength, rest - std::min(rest, kCoverPieces)); l <= rest; ++l)
          relax(pos + l, base + LongMatchCost(coverDistance, l), l, coverDistance);
        if (skippedTo != pos) skippedFrom = pos;
        finder.Insert();
        skippedTo = ++pos;
        continue;
      }
      if (pos == skippedTo && pos < coverEnd) {
        finder.MatchesLongerThan(coverEnd - pos, kBestChainDepth,
                                 [&](size_t length, size_t distance) {
          const size_t top = std::min(length, room);
          for (size_t from = pos; from > skippedFrom && from > distance &&
                                  pos + top - from < kMaxLength &&
                                  data[from - 1] == data[from - 1 - distance];) {
            const size_t whole = pos + top - --from;
            if (whole < kMinLongLength) continue;  // the segment's end cut it short
            relax(pos + top, costOf(best[from - start]) + LongMatchCost(distance, whole), whole,
                  distance);
          }
        });
      }
      size_t shorter = kMinLongLength - 1, longest = 0;
      finder.LongMatches(shorter, kBestChainDepth, [&](size_t length, size_t distance) {
        const uint32_t cost = base + LongDistanceCost(distance);
        const size_t top = std::min(length, room);
        for (size_t l = shorter + 1; l <= top; ++l)
          relax(pos + l, cost + kLengthBits[l], l, distance);
        shorter = std::max(shorter, top);
        longest = distance;
      });
      if (shorter >= kCoverLength && pos + shorter > coverEnd) {
        coverEnd = pos + shorter;
        coverDistance = longest;
      }
      size_t step = shorter >= kBestTakeAtOnce ? shorter : 1;
      finder.Insert();
      for (size_t stop = pos + step; ++pos < stop;) finder.Skip(pos);
    }

    // The cheapest path's tokens, last first, each with where it starts in
    // place of its cost.
    tokens.clear();
    for (size_t pos = end; pos > start;) {
      const Step s = best[pos - start];
      pos -= lengthOf(s);
      tokens.push_back(Step(pos) << 32 | uint32_t(s));
    }
    for (auto it = tokens.rbegin(); it != tokens.rend(); ++it) {
      const size_t length = lengthOf(*it);
      if (length == 1) WriteLiteral(w, data[size_t(*it >> 32)]);
      else if (length == 2) WriteShortMatch(w, distanceOf(*it));
      else WriteLongMatch(w, distanceOf(*it), length);
    }
  }
}

}  // namespace

std::vector<uint8_t> CompressBlock(const uint8_t* data, size_t size,
                                   CompressLevel level) {
  std::vector<uint8_t> out;
  BitWriter w(out, size + size / 8);  // literals only; matches take less
  const bool exact = PairsExact(size);
  if (level == CompressLevel::Best) {
    exact ? CompressBest<true>(data, size, w) : CompressBest<false>(data, size, w);
  } else {
    exact ? CompressGreedy<true>(data, size, w) : CompressGreedy<false>(data, size, w);
  }
  WriteEnd(w);
  return out;
}
