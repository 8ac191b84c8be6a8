// A chunk's one block: the items a parse chose, tallied into symbol frequencies, the codes
// built from those, the block's size counted from them, and its bits written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/lzx_costs.h"

namespace imaging::lzx {

// A literal (len 1) or a match, whose `code` is 0..2 for a recent offset or else the
// formatted offset (offset + 2).
struct TItem {
  std::uint16_t len;
  std::uint16_t code;
};

// The frequencies of `items`, which cover `in` from its start.
TFreqs Tally(std::span<const TItem> items, const std::uint8_t* in);

// Codes for all three trees; the aligned one is built whether or not the block uses it.
void MakeCodes(const TFreqs& freqs, TCodes& codes);

// `freqs` evened out so that neighbouring symbols tend to get equal code lengths, for codes
// that travel in fewer bits: a tree's lengths go through a pretree that takes a run of four or
// five equal lengths as one token, and the rarely used symbols, whose counts differ by a few,
// each cost a token of their own. Symbols unused stay unused and used ones stay used, so codes
// built from the result code the same items, if not as tightly.
TFreqs EvenedForRuns(const TFreqs& freqs);

// Whether the aligned block type codes these offsets in fewer bits than the verbatim type.
bool AlignedPays(const TFreqs& freqs, const TCodes& codes);

// The bytes WriteBlock takes for a chunk of n bytes, counted from the frequencies: passes are
// compared by this, and only the one kept is written.
std::size_t BlockBytes(const TFreqs& freqs, const TCodes& codes, bool aligned, unsigned n);

// Writes the block of `items` over in[0, n) into `out`, which must be BlockBytes long. False
// if it was not exactly that long: a miscount, never written past.
bool WriteBlock(std::span<const TItem> items, const std::uint8_t* in, unsigned n, const TCodes& codes,
                bool aligned, std::span<std::uint8_t> out);

}  // namespace imaging::lzx
