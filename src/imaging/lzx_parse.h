// The near-optimal parse: the cheapest way found to code a chunk as literals and matches,
// under one set of prices (see Parse in lzx_parse.cpp for what it gives up).
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/lzx_block.h"
#include "imaging/lzx_costs.h"
#include "imaging/lzx_match_finder.h"

namespace imaging::lzx {

// The cheapest way found to reach a position: its cost above the step that ends there, in one
// word, so that an offer is kept by a minimum of two words: one compare and one conditional
// move. A gap step (a match, one literal and an R0 match) keeps the length of its first match
// aside.
struct TNode {
  std::uint64_t packed;  // cost << 32 | step (the step's layout is in lzx_parse.cpp)

  std::uint32_t cost() const { return std::uint32_t(packed >> 32); }
  std::uint32_t step() const { return std::uint32_t(packed); }
  static TNode Of(std::uint32_t cost, std::uint32_t step) { return {std::uint64_t{cost} << 32 | step}; }
};
static_assert(sizeof(TNode) == 8);

class TParser {
 public:
  TParser();

  // Replaces `items` with the cheapest path found through in[0, n) under `costs`, from the
  // matches `finder` found there. Explicit 2-byte matches farther back than `pair_reach` are
  // left out.
  void Parse(const std::uint8_t* in, unsigned n, const TMatchFinder& finder, const TCostModel& costs,
             unsigned pair_reach, std::vector<TItem>& items);

 private:
  std::vector<TNode> nodes_;
  std::vector<std::uint16_t> gap_len_;  // at a gap step's end: the length of its first match
  std::vector<std::uint64_t> offers_;   // see TView::offers in lzx_parse.cpp
  std::vector<TItem> path_;             // the items as the path is walked back (ItemsFromPath)
};

}  // namespace imaging::lzx
