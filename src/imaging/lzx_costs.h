// What the parse weighs its choices with: a price for every symbol, in sixteenths of a bit,
// and the symbol frequencies and codes a pass leaves behind, from which the next prices come.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <span>

#include "imaging/lzx_format.h"

namespace imaging::lzx {

// Sixteenths of a bit, so that a first guess can be fractional.
constexpr unsigned kCostShift = 4;
constexpr std::uint32_t kBit = 1u << kCostShift;
constexpr std::uint32_t kInfiniteCost = std::numeric_limits<std::uint32_t>::max();

struct TFreqs {
  std::array<std::uint32_t, kNumMainSyms> main{};
  std::array<std::uint32_t, kNumLenSyms> len{};
  std::array<std::uint32_t, kNumAlignedSyms> aligned{};
};

struct TCodes {
  std::array<std::uint8_t, kNumMainSyms> main_lens{};
  std::array<std::uint16_t, kNumMainSyms> main_codes{};
  std::array<std::uint8_t, kNumLenSyms> len_lens{};
  std::array<std::uint16_t, kNumLenSyms> len_codes{};
  std::array<std::uint8_t, kNumAlignedSyms> aligned_lens{};
  std::array<std::uint16_t, kNumAlignedSyms> aligned_codes{};
};

struct TCostModel {
  std::array<std::uint32_t, kNumMainSyms> main{};
  std::array<std::uint32_t, kNumLenSyms> len{};
  std::array<std::uint32_t, kNumAlignedSyms> aligned{};
  bool aligned_block = false;
  // Derived from main and len: the main symbol plus, past the header's lengths, the length
  // symbol, for every offset slot and length.
  std::array<std::array<std::uint32_t, kMaxMatch + 1>, kNumOffsetSlots> match{};

  void Derive();
};

// Before a stream has codes of its own: literals priced by their frequency in `chunk`,
// everything else by a flat guess.
void SetInitialCosts(std::span<const std::uint8_t> chunk, TCostModel& costs);

// Prices from a pass's codes. With `shares`, the frequencies the codes were built from, the
// main tree's prices are blended with those frequencies (see BlendWithShares).
void SetCostsFromCodes(const TCodes& codes, bool aligned, const TFreqs* shares, TCostModel& costs);

}  // namespace imaging::lzx
