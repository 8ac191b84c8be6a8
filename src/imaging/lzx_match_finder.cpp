// The binary-tree match finder. The numbers beside the constants are from the bench
// (`make bench`); how each was arrived at is in tools/bench/NOTES.md.
#include "imaging/lzx_match_finder.h"

#include <algorithm>

namespace imaging::lzx {

namespace {

// A position inside a long match is only placed in the tree, and there a node that agrees with
// it for this many bytes gives way to it instead of being walked past: the plot took a quarter
// less time and the corpus came out smaller, not larger. The tree is then ordered by no more
// than these first bytes, which is what a later search may take on trust (InsertAndFind).
constexpr unsigned kInsertOnlyStopLen = 48;

// Matches the cache starts with room for: four a position, which photographs stay below.
constexpr std::size_t kInitialMatchCache = 4 * kLzxChunkSize;

}  // namespace

TMatchFinder::TMatchFinder()
    : head3_(std::size_t{1} << kHash3Bits),
      head2_(std::size_t{1} << 16),
      child_(2 * kLzxChunkSize),
      cache_(kInitialMatchCache),
      cache_start_(kLzxChunkSize + 1),
      silent_(kLzxChunkSize) {}

// The nearest earlier pair of equal bytes, kept only when it is not also a 3-byte match (the
// tree reports those). Returns the longest length found so far: 2 with the pair, else 1.
// FindPair and FollowLongMatch run for every position: inlined into Find's loop (as calls they
// cost 4% more instructions).
[[gnu::always_inline]] inline
unsigned TMatchFinder::FindPair(unsigned pos, unsigned max_len) {
  const unsigned h2 = in_[pos] | unsigned(in_[pos + 1]) << 8;
  const unsigned cand = head2_[h2];
  head2_[h2] = TPos(pos);
  if (cand == kNoPos || pos - cand > kMaxOffset || (max_len >= 3 && in_[cand + 2] == in_[pos + 2])) return 1;
  cache_[cache_len_++] = {kMinMatch, std::uint16_t(pos - cand)};
  return kMinMatch;
}

// Every position of the chunk goes into a binary search tree of the suffixes with the same
// 3-byte hash; walking down from the newest finds ever longer matches. With kRecord, each match
// longer than best_len is added to the cache and the longest length is returned; without, the
// position is only placed in the tree (it lies inside a long match).
template <bool kRecord>
unsigned TMatchFinder::InsertAndFind(unsigned pos, unsigned max_len, unsigned best_len) {
  const std::uint8_t* s = in_ + pos;
  const std::uint32_t h = Hash3(s);
  unsigned cur = head3_[h];
  head3_[h] = TPos(pos);
  TPos* pending_lt = &child_[2 * pos];
  TPos* pending_gt = &child_[2 * pos + 1];
  unsigned lt_len = 0, gt_len = 0;
  const unsigned stop_len = std::min(kRecord ? nice_len_ : kInsertOnlyStopLen, max_len);
  // A match to report is measured to its end; one that only places the node, to where it stops
  // the walk (measured to the end, those cost the screenshots and the plot a tenth of their time).
  const unsigned compare_len = kRecord ? max_len : stop_len;
  unsigned depth = depth_;
  for (;;) {
    if (cur == kNoPos || pos - cur > kMaxOffset || depth-- == 0) {
      *pending_lt = kNoPos;
      *pending_gt = kNoPos;
      return best_len;
    }
    const std::uint8_t* m = in_ + cur;
    // Every node between the last smaller and the last larger one agrees with the new string as
    // far as both of them do, but only within the bytes by which the tree is ordered: a node
    // that gave way to one agreeing with it for kInsertOnlyStopLen bytes left its subtrees
    // ordered by no more than those.
    unsigned len = std::min({lt_len, gt_len, kInsertOnlyStopLen});
    if (m[len] == s[len]) {
      len = CommonPrefix(m, s, len + 1, compare_len);
      if (kRecord && len > best_len) {
        best_len = len;
        cache_[cache_len_++] = {std::uint16_t(len), std::uint16_t(pos - cur)};
      }
      if (len >= stop_len) {
        // The old node gives way to the new one; its subtrees become ours.
        *pending_lt = child_[2 * cur];
        *pending_gt = child_[2 * cur + 1];
        return best_len;
      }
    }
    if (m[len] < s[len]) {
      *pending_lt = TPos(cur);
      pending_lt = &child_[2 * cur + 1];
      cur = *pending_lt;
      lt_len = len;
    } else {
      *pending_gt = TPos(cur);
      pending_gt = &child_[2 * cur];
      cur = *pending_gt;
      gt_len = len;
    }
  }
}

// Searches the tree at pos, past best_len, and returns the longest length found. Where many earlier strings
// agree for a while (a plain background, row after row), the walk can end before it reaches
// the one that goes on longest, though the long match just skipped over found it: that offset
// is tried again, and kept where it runs to the longest length (the plot came out 1% smaller).
// After a position that was searched it cannot: that match was measured to its end, shorter
// than nice_len, so here it is a byte shorter.
[[gnu::always_inline]] inline
unsigned TMatchFinder::FollowLongMatch(unsigned pos, unsigned max_len, unsigned best_len) {
  unsigned best = InsertAndFind<true>(pos, max_len, best_len);
  if (best < nice_len_ && follow_off_ != 0) {
    const unsigned len = CommonPrefix(in_ + pos, in_ + pos - follow_off_, 0, max_len);
    if (len == kMaxMatch) {
      cache_[cache_len_++] = {std::uint16_t(len), std::uint16_t(follow_off_)};
      best = len;
    }
  }
  follow_off_ = best < nice_len_ ? 0 : cache_[cache_len_ - 1].offset;
  return best;
}

// The positions a long match covers get no matches of their own, only their place in the tree.
void TMatchFinder::PlaceCoveredPositions(unsigned pos, unsigned len) {
  for (unsigned k = 1; k < len; ++k) {
    const unsigned p = pos + k;
    cache_start_[p] = std::uint32_t(cache_len_);
    silent_[p] = 1;
    const unsigned rest = n_ - p;
    if (rest >= 2) head2_[in_[p] | unsigned(in_[p + 1]) << 8] = TPos(p);
    if (rest >= 3) InsertAndFind<false>(p, std::min(kMaxMatch, rest), 0);
  }
}

void TMatchFinder::Find(const std::uint8_t* in, unsigned n, unsigned depth, unsigned nice_len) {
  in_ = in;
  n_ = n;
  depth_ = depth;
  nice_len_ = nice_len;
  std::fill(head3_.begin(), head3_.end(), kNoPos);
  std::fill(head2_.begin(), head2_.end(), kNoPos);
  cache_len_ = 0;
  follow_off_ = 0;
  for (unsigned pos = 0; pos < n;) {
    const std::size_t start = cache_len_;
    cache_start_[pos] = std::uint32_t(start);
    const std::size_t room = depth + 2;
    if (cache_.size() - cache_len_ < room) cache_.resize(std::max(2 * cache_.size(), cache_len_ + room));
    const unsigned max_len = std::min(kMaxMatch, n - pos);
    if (max_len < kMinMatch) {
      silent_[pos] = 1;
      ++pos;
      continue;
    }
    const unsigned pair_len = FindPair(pos, max_len);
    if (max_len < 3) {
      silent_[pos] = cache_len_ == start;
      ++pos;
      continue;
    }
    const unsigned best = FollowLongMatch(pos, max_len, pair_len);
    silent_[pos] = cache_len_ == start;
    if (best < nice_len) {
      ++pos;
      continue;
    }
    PlaceCoveredPositions(pos, best);
    pos += best;
  }
  cache_start_[n] = std::uint32_t(cache_len_);
}

}  // namespace imaging::lzx
