// Suffix array by induced sorting: the suffixes that start a run of
// ascending characters after a descending one (the leftmost smaller ones)
// are sorted first, through a shorter string of their names when they are
// not all distinct; their order then places every other suffix in two
// sweeps. Only a type per position and the bucket tables are needed beside
// the array, which also holds the shorter string while it is sorted.
#include "pack/suffix_index.h"

#include <algorithm>

namespace {

template <typename Char>
class InducedSort {
 public:
  InducedSort(const Char* s, int32_t* sa, int32_t n, int32_t alphabet)
      : s_(s), sa_(sa), n_(n), alphabet_(alphabet), smaller_(size_t(n)),
        counts_(size_t(alphabet)), ends_(size_t(alphabet)), largerEnd_(size_t(alphabet)) {}

  void Run();

 private:
  // A suffix is of the smaller type when it sorts before the next one; the
  // last is larger, as an end that sorts before everything follows it.
  bool IsLms(int32_t i) const { return i > 0 && smaller_[size_t(i)] && !smaller_[size_t(i - 1)]; }

  void BucketEnds(bool ends) {
    int32_t sum = 0;
    for (int32_t c = 0; c < alphabet_; ++c) {
      sum += counts_[size_t(c)];
      ends_[size_t(c)] = ends ? sum : sum - counts_[size_t(c)];
    }
  }

  // From the sorted leftmost-smaller suffixes at their buckets' ends: the
  // larger ones from the left, then the smaller ones from the right. The
  // type of the suffix before the one in hand follows from their first
  // characters, or when those are equal from where the one in hand stands:
  // each sweep places its type in its own part of the bucket (the larger
  // ones first). That spares a random read per suffix; the character read
  // is fetched some suffixes ahead. `markLms` flags (complements) each
  // leftmost-smaller suffix as the second sweep passes it: a smaller one
  // whose predecessor is larger.
  void Induce(bool markLms) {
    constexpr int32_t kAhead = 32;
    BucketEnds(false);
    sa_[ends_[size_t(s_[n_ - 1])]++] = n_ - 1;
    for (int32_t j = 0; j < n_; ++j) {
      if (j + kAhead < n_ && sa_[j + kAhead] > 0) __builtin_prefetch(&s_[sa_[j + kAhead] - 1]);
      const int32_t v = sa_[j];
      if (v <= 0) continue;
      const Char c0 = s_[v - 1], c1 = s_[v];
      if (c0 > c1 || (c0 == c1 && j < largerEnd_[size_t(c1)])) sa_[ends_[size_t(c0)]++] = v - 1;
    }
    BucketEnds(true);
    for (int32_t j = n_; j-- > 0;) {
      if (j >= kAhead && sa_[j - kAhead] > 0) __builtin_prefetch(&s_[sa_[j - kAhead] - 1]);
      const int32_t v = sa_[j];
      if (v <= 0) continue;
      const Char c0 = s_[v - 1], c1 = s_[v];
      const bool smaller = j >= largerEnd_[size_t(c1)];
      if (c0 < c1 || (c0 == c1 && smaller)) {
        sa_[--ends_[size_t(c0)]] = v - 1;
      } else if (markLms && smaller) {
        sa_[j] = ~v;
      }
    }
  }

  const Char* s_;
  int32_t* sa_;
  const int32_t n_, alphabet_;
  std::vector<uint8_t> smaller_;
  std::vector<int32_t> counts_, ends_;
  std::vector<int32_t> largerEnd_;  // where each bucket's larger suffixes end
};

template <typename Char>
void InducedSort<Char>::Run() {
  if (n_ == 1) {
    sa_[0] = 0;
    return;
  }
  for (int32_t i = n_ - 1; i-- > 0;)
    smaller_[size_t(i)] = s_[i] < s_[i + 1] || (s_[i] == s_[i + 1] && smaller_[size_t(i + 1)]);
  for (int32_t i = 0; i < n_; ++i) ++counts_[size_t(s_[i])];
  BucketEnds(false);
  largerEnd_ = ends_;
  for (int32_t i = 0; i < n_; ++i)
    if (!smaller_[size_t(i)]) ++largerEnd_[size_t(s_[i])];

  // Sort the leftmost-smaller runs: placed in any order, induced.
  std::fill(sa_, sa_ + n_, -1);
  BucketEnds(true);
  for (int32_t i = 1; i < n_; ++i)
    if (IsLms(i)) sa_[--ends_[size_t(s_[i])]] = i;
  Induce(true);

  // Name them in that order; equal runs share a name. Each one's length
  // (with the next one's first character; 0 for the last, which runs into
  // the end and equals none) waits in its name's place, so that most
  // comparisons end without reading the text.
  int32_t count = 0;
  for (int32_t j = 0; j < n_; ++j)
    if (sa_[j] < 0) sa_[count++] = ~sa_[j];
  std::fill(sa_ + count, sa_ + n_, -1);
  for (int32_t i = n_, next = n_; i-- > 1;) {
    if (!IsLms(i)) continue;
    sa_[count + i / 2] = next == n_ ? 0 : next - i + 1;
    next = i;
  }
  int32_t names = 0, previous = 0, previousLength = 0;
  for (int32_t j = 0; j < count; ++j) {
    const int32_t at = sa_[j], length = sa_[count + at / 2];
    if (j == 0 || length == 0 || length != previousLength ||
        !std::equal(s_ + at, s_ + at + length, s_ + previous))
      ++names;
    previous = at;
    previousLength = length;
    sa_[count + at / 2] = names - 1;
  }
  // The names in text order make the shorter string, at the array's end.
  for (int32_t i = n_, j = n_; i-- > count;)
    if (sa_[i] >= 0) sa_[--j] = sa_[i];
  int32_t* reduced = sa_ + n_ - count;
  if (names < count) {
    InducedSort<int32_t>(reduced, sa_, count, names).Run();
  } else {
    for (int32_t i = 0; i < count; ++i) sa_[reduced[i]] = i;
  }

  // Their sorted order places them at their buckets' ends, from the last.
  for (int32_t i = 1, j = 0; i < n_; ++i)
    if (IsLms(i)) reduced[j++] = i;
  for (int32_t i = 0; i < count; ++i) sa_[i] = reduced[sa_[i]];
  std::fill(sa_ + count, sa_ + n_, -1);
  BucketEnds(true);
  for (int32_t i = count; i-- > 0;) {
    const int32_t at = sa_[i];
    sa_[i] = -1;
    sa_[--ends_[size_t(s_[at])]] = at;
  }
  Induce(false);
}

}  // namespace

std::vector<int32_t> BuildSuffixArray(const uint8_t* text, int32_t size) {
  std::vector<int32_t> sa(static_cast<size_t>(size));
  if (size > 0) InducedSort<uint8_t>(text, sa.data(), size, 256).Run();
  return sa;
}

SuffixIndex::SuffixIndex(const uint8_t* text, size_t size)
    : text_(text),
      size_(uint32_t(std::min<size_t>(size, 0x7FFFFFFF))),
      suffixes_(BuildSuffixArray(text, int32_t(size_))),
      buckets_(65537) {
  // buckets_[k] is the first suffix whose two bytes are k or more.
  uint32_t j = 0;
  for (uint32_t k = 0; k < 65536; ++k) {
    buckets_[k] = j;
    while (j < size_) {
      const uint32_t at = uint32_t(suffixes_[j]);
      const uint32_t key = uint32_t(text_[at]) << 8 | (at + 1 < size_ ? text_[at + 1] : 0);
      if (key != k) break;
      ++j;
    }
  }
  buckets_[65536] = size_;
}

uint32_t SuffixIndex::CommonLength(uint32_t suffix, const uint8_t* pattern, size_t size,
                                   uint32_t known) const {
  const uint8_t* s = text_ + suffix;
  size_t limit = std::min<size_t>(size, size_ - suffix);
  size_t n = known;
  while (n < limit && s[n] == pattern[n]) ++n;
  return uint32_t(n);
}

SuffixIndex::Match SuffixIndex::Longest(const uint8_t* pattern, size_t size) const {
  if (size == 0 || size_ == 0) return {};
  // Start within the suffixes sharing the first two bytes, or the first.
  uint32_t lo, hi;
  if (size >= 2) {
    const uint32_t key = uint32_t(pattern[0]) << 8 | pattern[1];
    lo = buckets_[key];
    hi = buckets_[key + 1];
  } else {
    lo = hi = 0;
  }
  if (lo == hi) {
    lo = buckets_[uint32_t(pattern[0]) << 8];
    hi = buckets_[(uint32_t(pattern[0]) + 1) << 8];
    if (lo == hi) return {};
  }
  // Binary search for where the pattern would stand; its longest match is
  // one of the two suffixes around that place. What both bounds share with
  // the pattern needs no comparing again.
  uint32_t l = lo, r = hi - 1;
  uint32_t lcpL = CommonLength(uint32_t(suffixes_[l]), pattern, size, 0);
  if (lcpL == size || l == r) return {uint32_t(suffixes_[l]), lcpL};
  uint32_t lcpR = CommonLength(uint32_t(suffixes_[r]), pattern, size, 0);
  while (r - l > 1) {
    const uint32_t m = l + (r - l) / 2;
    const uint32_t at = uint32_t(suffixes_[m]);
    const uint32_t k = CommonLength(at, pattern, size, std::min(lcpL, lcpR));
    if (k == size) return {at, k};
    if (at + k == size_ || text_[at + k] < pattern[k]) {
      l = m;
      lcpL = k;
    } else {
      r = m;
      lcpR = k;
    }
  }
  return lcpL >= lcpR ? Match{uint32_t(suffixes_[l]), lcpL} : Match{uint32_t(suffixes_[r]), lcpR};
}
