// Length-limited canonical Huffman codes, as LZX stores them: only the code lengths travel,
// and both sides rebuild the same codewords from them.
#pragma once

#include <cstdint>
#include <span>

namespace imaging {

// Optimal code lengths no longer than max_len for the given symbol frequencies (package-merge).
// Unused symbols get length 0. A lone used symbol is paired with a second one of length 1,
// because LZX decoders accept only complete codes (or a wholly empty one).
void BuildCodeLengths(std::span<const std::uint32_t> freqs, unsigned max_len,
                      std::span<std::uint8_t> lens);

// Canonical codewords: shorter codes first, equal lengths in symbol order, read MSB first.
void BuildCanonicalCodes(std::span<const std::uint8_t> lens, std::span<std::uint16_t> codes);

}  // namespace imaging
