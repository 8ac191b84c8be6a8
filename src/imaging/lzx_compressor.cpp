// The chunk compressor: E8 translation, then the matches found once, then parse passes priced
// ever closer to the chunk's own codes, the smallest kept and written as the chunk's one block.
// The parts are lzx_match_finder, lzx_parse, lzx_costs and lzx_block; a whole resource, split
// over two threads, is lzx_resource. The numbers beside the constants are from the bench
// (`make bench`); how each was arrived at, and what was measured and not kept, is in
// tools/bench/NOTES.md.
#include "imaging/lzx_compressor.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "imaging/lzx_block.h"
#include "imaging/lzx_costs.h"
#include "imaging/lzx_format.h"
#include "imaging/lzx_match_finder.h"
#include "imaging/lzx_parse.h"

namespace imaging {

namespace {

using lzx::kMaxOffset;

// A chunk still above 65% of its size after a first pass that started from the previous
// chunk's codes gets no second: between 75% and 90% a second pass gains such a chunk 15 to 25
// bytes of its 25,000 or more, for a third of its time. At 80% rather than 65%, the photographs
// came out 0.028% smaller for 5% more time, about what the evened codes (TryEvenedCodes) gain.
constexpr unsigned kNearlyRawPerMille = 650;
// A chunk whose passes leave it above 75% gets one more pass with 2-byte matches only up to
// offset 32: the passes settle on far 2-byte matches that each look a little cheaper than two
// literals but together leave the literal code worse off (0.067% smaller for 3% more time).
constexpr unsigned kLiteralHeavyPerMille = 750;
constexpr unsigned kLiteralHeavyPairReach = 32;
// After this many literal-heavy chunks in a row where that pass did not win, it is tried only on
// every kHeavySparingPeriod-th one: some pictures never gain from it (a fifth less time there).
constexpr unsigned kHeavyLossesBeforeSparing = 3;
constexpr unsigned kHeavySparingPeriod = 4;
// A chunk after one that compressed to below 20% of its size searches half as deep again: in
// fog or a plain background the walks run long and the nearest strings are seldom the longest
// matches (a photograph of a foggy pier 0.57% smaller, for 5% more of its instructions).
constexpr unsigned kSmoothPerMille = 200;
constexpr unsigned kSmoothDepthPercent = 150;

// One pass's outcome: the frequencies of its items, the codes built from them, the block type
// and the counted size.
struct TPass {
  lzx::TFreqs freqs;
  lzx::TCodes codes;
  bool aligned = false;
  std::size_t size = std::numeric_limits<std::size_t>::max();
};

bool Above(std::size_t size, unsigned n, unsigned per_mille) {
  return size * 1000 > std::size_t{n} * per_mille;
}

}  // namespace

void LzxTranslateE8(std::span<std::uint8_t> chunk) {
  const std::size_t n = chunk.size();
  if (n <= lzx::kE8TailGuard) return;
  const std::size_t limit = n - lzx::kE8TailGuard;
  for (std::size_t i = 0; i < limit;) {
    const void* hit = std::memchr(&chunk[i], 0xE8, limit - i);
    if (!hit) break;
    i = std::size_t(static_cast<const std::uint8_t*>(hit) - chunk.data());
    std::int32_t v;
    std::memcpy(&v, &chunk[i + 1], 4);
    const auto pos = std::int32_t(i);
    if (v >= -pos && v < lzx::kE8TranslationSize) {
      // The operand becomes absolute (v + i), except where that would reach the translation
      // size: then it wraps to v - size, which falls in [-i, 0) where the decoder adds it back.
      const std::int32_t t = v < lzx::kE8TranslationSize - pos ? v + pos : v - lzx::kE8TranslationSize;
      std::memcpy(&chunk[i + 1], &t, 4);
    }
    i += 5;
  }
}

struct TLzxCompressor::TState {
  TLzxTuning tuning;
  std::vector<std::uint8_t> buf = std::vector<std::uint8_t>(kLzxChunkSize + lzx::kBufferPadding);
  lzx::TMatchFinder finder;
  lzx::TParser parser;
  std::vector<lzx::TItem> items;
  std::vector<lzx::TItem> best_items;  // the smallest pass's, while a later one is tried
  TPass pass;                          // the latest pass's outcome
  lzx::TCostModel costs;
  bool have_model = false;         // costs hold the previous chunk's codes
  unsigned heavy_losses = 0;       // literal-heavy chunks in a row where the extra pass lost
  unsigned last_per_mille = 1000;  // the previous chunk's compressed size, per mille

  unsigned Load(std::span<const std::uint8_t> chunk);
  void FindMatches(unsigned n);
  void RunPass(unsigned n, unsigned pair_reach, TPass& best);
  void RunNormalPasses(unsigned n, TPass& best);
  void TryLiteralHeavyPass(unsigned n, TPass& best);
  void TryEvenedCodes(unsigned n, TPass& best);
  void KeepModel(unsigned n, const TPass& best);
};

// Copies the chunk into the padded buffer, E8-translated, and returns its size.
unsigned TLzxCompressor::TState::Load(std::span<const std::uint8_t> chunk) {
  const auto n = unsigned(chunk.size());
  std::memcpy(buf.data(), chunk.data(), n);
  std::memset(buf.data() + n, 0, lzx::kBufferPadding);
  LzxTranslateE8(std::span(buf.data(), n));
  return n;
}

// The matches, found once for all passes; a stream's first chunk also gets its first prices.
void TLzxCompressor::TState::FindMatches(unsigned n) {
  const bool smooth = have_model && last_per_mille < kSmoothPerMille;
  const unsigned depth = tuning.max_search_depth * (smooth ? kSmoothDepthPercent : 100) / 100;
  finder.Find(buf.data(), n, depth, tuning.nice_match_len);
  if (!have_model) lzx::SetInitialCosts(std::span(buf.data(), n), costs);
}

// One pass, counted; kept in `best` (and its items in best_items) when it is the smallest yet.
void TLzxCompressor::TState::RunPass(unsigned n, unsigned pair_reach, TPass& best) {
  parser.Parse(buf.data(), n, finder, costs, pair_reach, items);
  pass.freqs = lzx::Tally(items, buf.data());
  lzx::MakeCodes(pass.freqs, pass.codes);
  pass.aligned = lzx::AlignedPays(pass.freqs, pass.codes);
  pass.size = lzx::BlockBytes(pass.freqs, pass.codes, pass.aligned, n);
  if (pass.size < best.size) {
    best = pass;
    items.swap(best_items);
  }
}

// Each pass priced with the codes of the one before. A later pass is usually, not always,
// smaller: each is counted and the smallest kept.
void TLzxCompressor::TState::RunNormalPasses(unsigned n, TPass& best) {
  for (unsigned p = 0; p < tuning.optimization_passes; ++p) {
    RunPass(n, kMaxOffset, best);
    if (p == 0 && have_model && Above(best.size, n, kNearlyRawPerMille)) break;
    if (p + 1 < tuning.optimization_passes) {
      const bool heavy = Above(best.size, n, kLiteralHeavyPerMille);
      lzx::SetCostsFromCodes(pass.codes, pass.aligned, heavy ? nullptr : &pass.freqs, costs);
    }
  }
}

// Where literals are most of the chunk: one more pass without far 2-byte matches, kept if it is
// smaller. Kept, its codes also start the next chunk off better, which is most of its gain.
void TLzxCompressor::TState::TryLiteralHeavyPass(unsigned n, TPass& best) {
  if (!Above(best.size, n, kLiteralHeavyPerMille)) return;
  if (heavy_losses >= kHeavyLossesBeforeSparing && heavy_losses % kHeavySparingPeriod != 0) {
    ++heavy_losses;
    return;
  }
  const std::size_t before = best.size;
  lzx::SetCostsFromCodes(best.codes, best.aligned, nullptr, costs);
  RunPass(n, kLiteralHeavyPairReach, best);
  heavy_losses = best.size < before ? 0 : heavy_losses + 1;
}

// The kept pass's items under codes built from its frequencies evened out (EvenedForRuns), where
// the trees' savings outweigh the items' cost: photographs 0.026% and the harder pictures 0.057%
// smaller, for 1.5% more instructions (up to 6% more time on pictures whose chunks get a single
// pass, where codes are more of the work). The evened codes price the next chunk too.
void TLzxCompressor::TState::TryEvenedCodes(unsigned n, TPass& best) {
  lzx::TCodes codes;
  lzx::MakeCodes(lzx::EvenedForRuns(best.freqs), codes);
  const bool aligned = lzx::AlignedPays(best.freqs, codes);
  const std::size_t size = lzx::BlockBytes(best.freqs, codes, aligned, n);
  if (size >= best.size) return;
  best.codes = codes;
  best.aligned = aligned;
  best.size = size;
}

// The kept pass's codes price the next chunk's first pass.
void TLzxCompressor::TState::KeepModel(unsigned n, const TPass& best) {
  const bool heavy = Above(best.size, n, kLiteralHeavyPerMille);
  lzx::SetCostsFromCodes(best.codes, best.aligned, heavy ? nullptr : &best.freqs, costs);
  have_model = true;
  last_per_mille = unsigned(std::min<std::size_t>(best.size, n) * 1000 / n);
}

TLzxCompressor::TLzxCompressor(const TLzxTuning& tuning) : state_(std::make_unique<TState>()) {
  state_->tuning = tuning;
  TLzxTuning& t = state_->tuning;
  t.nice_match_len = std::clamp(t.nice_match_len, 3u, lzx::kMaxMatch);
  t.max_search_depth = std::max(t.max_search_depth, 1u);
  t.optimization_passes = std::max(t.optimization_passes, 1u);
}

TLzxCompressor::~TLzxCompressor() = default;

void TLzxCompressor::StartStream() {
  state_->have_model = false;
  state_->heavy_losses = 0;
}

bool TLzxCompressor::CompressChunk(std::span<const std::uint8_t> chunk, std::vector<std::uint8_t>& out) {
  TState& s = *state_;
  if (chunk.empty() || chunk.size() > kLzxChunkSize) return false;
  const unsigned n = s.Load(chunk);
  s.FindMatches(n);
  TPass best;
  s.RunNormalPasses(n, best);
  s.TryLiteralHeavyPass(n, best);
  s.TryEvenedCodes(n, best);
  s.KeepModel(n, best);
  if (best.size >= n) return false;
  out.resize(best.size);
  if (!lzx::WriteBlock(s.best_items, s.buf.data(), n, best.codes, best.aligned, out))
    throw std::logic_error("LZX block size miscounted");
  return true;
}

}  // namespace imaging
