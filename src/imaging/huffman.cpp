#include "imaging/huffman.h"

#include <algorithm>
#include <cassert>
#include <vector>

namespace imaging {

namespace {

struct TItem {
  std::uint64_t weight;
  bool leaf;
};

}  // namespace

void BuildCodeLengths(std::span<const std::uint32_t> freqs, unsigned max_len,
                      std::span<std::uint8_t> lens) {
  assert(lens.size() == freqs.size());
  std::fill(lens.begin(), lens.end(), std::uint8_t{0});

  std::vector<std::uint32_t> used;
  for (std::uint32_t s = 0; s < freqs.size(); ++s)
    if (freqs[s] != 0) used.push_back(s);
  if (used.empty()) return;
  if (used.size() == 1) {
    lens[used[0]] = 1;
    lens[used[0] == 0 ? 1 : 0] = 1;
    return;
  }
  assert((std::size_t{1} << max_len) >= used.size());
  // Ties broken by symbol so the result never depends on the sort implementation.
  std::stable_sort(used.begin(), used.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return freqs[a] < freqs[b]; });

  // Package-merge: level 0 holds the leaves; every further level merges the leaves with the
  // pairs ("packages") of the level below. The first 2n-2 items of the top level pick the code.
  const std::size_t n = used.size();
  std::vector<std::vector<TItem>> levels(max_len);
  levels[0].reserve(n);
  for (std::uint32_t s : used) levels[0].push_back({freqs[s], true});
  for (unsigned level = 1; level < max_len; ++level) {
    const auto& below = levels[level - 1];
    auto& cur = levels[level];
    cur.reserve(n + below.size() / 2);
    std::size_t leaf = 0, pair = 0;
    const std::size_t pairs = below.size() / 2;
    while (leaf < n || pair < pairs) {
      const bool take_leaf =
          pair == pairs ||
          (leaf < n && freqs[used[leaf]] <= below[2 * pair].weight + below[2 * pair + 1].weight);
      if (take_leaf) {
        cur.push_back({freqs[used[leaf]], true});
        ++leaf;
      } else {
        cur.push_back({below[2 * pair].weight + below[2 * pair + 1].weight, false});
        ++pair;
      }
    }
  }

  // Walk back down: each chosen leaf adds one bit to its symbol's length; each chosen package
  // selects the two items below it, which are always the first ones of that level.
  std::size_t active = 2 * n - 2;
  for (unsigned level = max_len; level-- > 0;) {
    std::size_t leaves = 0;
    for (std::size_t i = 0; i < active; ++i)
      if (levels[level][i].leaf) ++leaves;
    for (std::size_t i = 0; i < leaves; ++i) ++lens[used[i]];
    active = 2 * (active - leaves);
  }
}

void BuildCanonicalCodes(std::span<const std::uint8_t> lens, std::span<std::uint16_t> codes) {
  constexpr unsigned kMaxLen = 16;
  unsigned count[kMaxLen + 2] = {};
  for (std::uint8_t l : lens) ++count[l];
  count[0] = 0;
  unsigned next[kMaxLen + 2] = {};
  unsigned code = 0;
  for (unsigned l = 1; l <= kMaxLen; ++l) {
    code = (code + count[l - 1]) << 1;
    next[l] = code;
  }
  for (std::size_t s = 0; s < lens.size(); ++s)
    codes[s] = lens[s] ? std::uint16_t(next[lens[s]]++) : 0;
}

}  // namespace imaging
