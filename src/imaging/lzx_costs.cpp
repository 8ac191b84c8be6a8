// Symbol prices. The numbers beside the constants are from the bench (`make bench`); how each
// was arrived at is in tools/bench/NOTES.md.
#include "imaging/lzx_costs.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace imaging::lzx {

namespace {

// The first guess, for match symbols: cheap. Later chunks inherit whatever it leads to, and a
// dear start settles on fewer matches for a whole file (7 bits beat 9 by 0.13% on photographs).
constexpr unsigned kInitialMatchSymbolBits = 7;
constexpr unsigned kInitialLengthSymbolBits = 6;
constexpr unsigned kInitialAlignedSymbolBits = 3;  // a flat aligned tree
constexpr double kMaxInitialLiteralBits = 15.0;    // within the main tree's 16
constexpr double kUnseenLiteralBits = 12.0;
// A symbol a code leaves out is priced this much above the code's longest one: dear, but not
// so dear that a pass can never bring it in.
constexpr unsigned kUnusedSymbolExtraBits = 2;

template <std::size_t N>
void CostsFromLens(const std::array<std::uint8_t, N>& lens, unsigned max_len,
                   std::array<std::uint32_t, N>& costs) {
  unsigned longest = 0;
  for (auto l : lens) longest = std::max<unsigned>(longest, l);
  const unsigned unused = std::min(max_len, longest + kUnusedSymbolExtraBits);
  for (std::size_t s = 0; s < N; ++s) costs[s] = (lens[s] ? lens[s] : unused) * kBit;
}

// log2(v) in sixteenths of a bit for v >= 1, exact at every power of two and within a sixteenth
// between them: integer arithmetic, so that every build prices alike.
unsigned Log2Sixteenths(std::uint32_t v) {
  static_assert(kBit == 16);
  // round(16 * log2(1 + k / 16)) for the four bits after the leading one.
  static constexpr std::uint8_t kFraction[16] = {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 15};
  const unsigned top = unsigned(std::bit_width(v)) - 1;
  const unsigned next4 = top >= 4 ? (v >> (top - 4)) & 15 : (v << (4 - top)) & 15;
  return top * kBit + kFraction[next4];
}

// A used symbol is priced halfway between its code length and -log2 of its share. A length is
// whole bits and stays put over a range of frequencies, so prices from lengths alone hold the
// passes where the lengths are; halfway, the photographs came out 0.037% smaller.
template <std::size_t N>
void BlendWithShares(const std::array<std::uint32_t, N>& freqs, unsigned max_len,
                     std::array<std::uint32_t, N>& costs) {
  std::uint32_t total = 0;
  for (std::uint32_t f : freqs) total += f;
  if (total == 0) return;
  const unsigned log_total = Log2Sixteenths(total);
  for (std::size_t s = 0; s < N; ++s) {
    if (freqs[s] == 0) continue;
    const unsigned share = std::clamp(log_total - Log2Sixteenths(freqs[s]), kBit, max_len * kBit);
    costs[s] = (costs[s] + share + 1) / 2;
  }
}

}  // namespace

void TCostModel::Derive() {
  for (unsigned slot = 0; slot < kNumOffsetSlots; ++slot) {
    for (unsigned l = kMinMatch; l <= kMaxMatch; ++l) {
      std::uint32_t c = main[MatchSymbol(slot, l)];
      if (LenHeader(l) == kLenHeaderEscape) c += len[LenSymbol(l)];
      match[slot][l] = c;
    }
  }
}

void SetInitialCosts(std::span<const std::uint8_t> chunk, TCostModel& costs) {
  std::array<std::uint32_t, kNumChars> hist{};
  for (std::uint8_t b : chunk) ++hist[b];
  const double n = double(chunk.size());
  for (unsigned c = 0; c < kNumChars; ++c) {
    const double bits = hist[c] ? std::log2(n / hist[c]) : kUnseenLiteralBits;
    costs.main[c] = std::uint32_t(std::clamp(bits, 1.0, kMaxInitialLiteralBits) * kBit);
  }
  for (unsigned s = kNumChars; s < kNumMainSyms; ++s) costs.main[s] = kInitialMatchSymbolBits * kBit;
  costs.len.fill(kInitialLengthSymbolBits * kBit);
  costs.aligned.fill(kInitialAlignedSymbolBits * kBit);
  costs.aligned_block = false;
  costs.Derive();
}

void SetCostsFromCodes(const TCodes& codes, bool aligned, const TFreqs* shares, TCostModel& costs) {
  CostsFromLens(codes.main_lens, kMainMaxCodeLen, costs.main);
  if (shares) BlendWithShares(shares->main, kMainMaxCodeLen, costs.main);
  CostsFromLens(codes.len_lens, kLenMaxCodeLen, costs.len);
  if (aligned)
    CostsFromLens(codes.aligned_lens, kAlignedMaxCodeLen, costs.aligned);
  else
    costs.aligned.fill(kAlignedBits * kBit);
  costs.aligned_block = aligned;
  costs.Derive();
}

}  // namespace imaging::lzx
