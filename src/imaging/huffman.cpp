#include "imaging/huffman.h"

#include <algorithm>
#include <cassert>
#include <memory>
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
  used.reserve(freqs.size());
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
  std::sort(used.begin(), used.end(),
            [&](std::uint32_t a, std::uint32_t b) { return freqs[a] != freqs[b] ? freqs[a] < freqs[b] : a < b; });

  // Package-merge: level 0 holds the leaves; every further level merges the leaves with the
  // pairs ("packages") of the level below. The first 2n-2 items of the top level pick the code.
  // No level holds more than 2n - 1 items, so one block holds them all: the compressor builds
  // several codes per pass, and an allocation per level showed in its profile.
  const std::size_t n = used.size();
  const std::size_t stride = 2 * n;
  const std::unique_ptr<TItem[]> items(new TItem[stride * max_len]);  // filled level by level
  std::vector<std::size_t> sizes(max_len);
  for (std::size_t i = 0; i < n; ++i) items[i] = {freqs[used[i]], true};
  sizes[0] = n;
  for (unsigned level = 1; level < max_len; ++level) {
    const TItem* below = &items[(level - 1) * stride];
    TItem* cur = &items[level * stride];
    std::size_t count = 0, leaf = 0, pair = 0;
    const std::size_t pairs = sizes[level - 1] / 2;
    while (leaf < n || pair < pairs) {
      const bool take_leaf =
          pair == pairs ||
          (leaf < n && freqs[used[leaf]] <= below[2 * pair].weight + below[2 * pair + 1].weight);
      if (take_leaf) {
        cur[count++] = {freqs[used[leaf]], true};
        ++leaf;
      } else {
        cur[count++] = {below[2 * pair].weight + below[2 * pair + 1].weight, false};
        ++pair;
      }
    }
    sizes[level] = count;
  }

  // Walk back down: each chosen leaf adds one bit to its symbol's length; each chosen package
  // selects the two items below it, which are always the first ones of that level.
  std::size_t active = 2 * n - 2;
  for (unsigned level = max_len; level-- > 0;) {
    std::size_t leaves = 0;
    for (std::size_t i = 0; i < active; ++i)
      if (items[level * stride + i].leaf) ++leaves;
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
