// Finds, once per chunk, the matches every position offers: the nearest earlier pair of equal
// bytes, then from a binary tree of the chunk's suffixes ever longer matches at ever greater
// distance. The parse reads them on each of its passes.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/little_endian.h"
#include "imaging/lzx_format.h"

namespace imaging::lzx {

struct TMatch {
  std::uint16_t len;
  std::uint16_t offset;
};

// A chunk buffer carries this many bytes past its end, for CommonPrefix's whole-word reads.
constexpr std::size_t kBufferPadding = 16;

// Length of the common prefix of a and b, from `start` up to `limit`. Both may be read up to
// 8 bytes past `limit`.
inline unsigned CommonPrefix(const std::uint8_t* a, const std::uint8_t* b, unsigned start, unsigned limit) {
  static_assert(kBufferPadding >= sizeof(std::uint64_t));
  unsigned len = start;
  while (len < limit) {
    const std::uint64_t x = marivane::LoadU64(a + len) ^ marivane::LoadU64(b + len);
    if (x != 0) {
      len += unsigned(std::countr_zero(x)) / 8;
      return std::min(len, limit);
    }
    len += 8;
  }
  return limit;
}

constexpr unsigned kHash3Bits = 15;

// The first three bytes at p, hashed to `bits` bits.
inline std::uint32_t Hash3(const std::uint8_t* p, unsigned bits = kHash3Bits) {
  constexpr std::uint32_t kMultiplier = 0x1E35A7BDu;
  const std::uint32_t v = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16;
  return (v * kMultiplier) >> (32 - bits);
}

class TMatchFinder {
 public:
  TMatchFinder();

  // Finds the matches of every position of in[0, n), which is followed by kBufferPadding
  // readable bytes. A tree walk visits at most `depth` nodes; a match of `nice_len` or more
  // ends it, and the positions that match covers get no matches of their own.
  void Find(const std::uint8_t* in, unsigned n, unsigned depth, unsigned nice_len);

  // The matches at position p are matches()[starts()[p] .. starts()[p + 1]), longer and
  // farther one after the other.
  const TMatch* matches() const { return cache_.data(); }
  const std::uint32_t* starts() const { return cache_start_.data(); }
  // Nonzero where a position has no matches: inside a long match, or where the finder left none
  // (it saw no earlier pair of the two bytes in reach, so no recent offset matches there either).
  // One byte read a position, on every pass of the parse.
  const std::uint8_t* silent() const { return silent_.data(); }

 private:
  // Positions within a chunk fit in 16 bits with one value to spare for "none".
  using TPos = std::uint16_t;
  static constexpr TPos kNoPos = 0xFFFF;
  static_assert(kLzxChunkSize <= kNoPos);

  unsigned FindPair(unsigned pos, unsigned max_len);
  template <bool kRecord>
  unsigned InsertAndFind(unsigned pos, unsigned max_len, unsigned best_len);
  unsigned FollowLongMatch(unsigned pos, unsigned max_len, unsigned best_len);
  void PlaceCoveredPositions(unsigned pos, unsigned len);

  const std::uint8_t* in_ = nullptr;
  unsigned n_ = 0;
  unsigned depth_ = 0;
  unsigned nice_len_ = 0;
  // 16-bit positions keep the tables (320 KiB) within a core's second-level cache; clearing
  // the hash heads for every chunk costs less than the misses of wider ones.
  std::vector<TPos> head3_;
  std::vector<TPos> head2_;
  std::vector<TPos> child_;  // two per position: the smaller and the larger subtree
  // A position yields at most one 2-byte match, one per tree node visited and one offset tried
  // again; the cache grows before a position could pass its end. Most chunks need a small part
  // of what the worst could (4 MiB), and untouched memory is not paid for.
  std::vector<TMatch> cache_;
  std::size_t cache_len_ = 0;
  std::vector<std::uint32_t> cache_start_;
  std::vector<std::uint8_t> silent_;
  unsigned follow_off_ = 0;  // after a long match: its offset (see FollowLongMatch)
};

}  // namespace imaging::lzx
