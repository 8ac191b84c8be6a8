// The LZX format as a WIM chunk uses it: alphabets, offset slots, block header fields and the
// pretree's symbols. Shared by the compressor's parts; nothing here is tuning.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "imaging/lzx_compressor.h"

namespace imaging::lzx {

constexpr unsigned kNumChars = 256;
constexpr unsigned kNumOffsetSlots = 30;  // enough for a 32 KiB window
constexpr unsigned kNumLenHeaders = 8;    // low 3 bits of a match's main symbol
constexpr unsigned kLenHeaderEscape = 7;  // header 7: the length continues in the length tree
constexpr unsigned kNumMainSyms = kNumChars + kNumOffsetSlots * kNumLenHeaders;
constexpr unsigned kMinMatch = 2;
constexpr unsigned kMaxMatch = 257;
// The length tree codes the lengths that header 7 leaves open: 9..257.
constexpr unsigned kNumLenSyms = kMaxMatch - kMinMatch - kLenHeaderEscape + 1;
static_assert(kNumMainSyms == 496 && kNumLenSyms == 249);
constexpr unsigned kNumAlignedSyms = 8;
constexpr unsigned kNumPretreeSyms = 20;
constexpr unsigned kNumReps = 3;
// Slots 0..2 name the recent offsets, so an explicit offset travels as offset + 2 (its
// "formatted" offset).
constexpr unsigned kOffsetAdjust = 2;
static_assert(kOffsetAdjust == kNumReps - 1);

constexpr std::array<std::uint32_t, kNumOffsetSlots> kSlotBase = {
    0,   1,   2,   3,   4,    6,    8,    12,   16,   24,   32,    48,    64,    96,    128,
    192, 256, 384, 512, 768, 1024, 1536, 2048, 3072, 4096, 6144, 8192, 12288, 16384, 24576};

constexpr unsigned ExtraBitsOfSlot(unsigned slot) { return slot < 4 ? 0 : slot / 2 - 1; }

// The top of the last slot is 24576 + 8191 = 32767 formatted, 32765 real: the window is 32768
// bytes, but the last two offsets cannot be written.
constexpr unsigned kMaxFormattedOffset =
    kSlotBase[kNumOffsetSlots - 1] + (1u << ExtraBitsOfSlot(kNumOffsetSlots - 1)) - 1;
constexpr unsigned kMaxOffset = kMaxFormattedOffset - kOffsetAdjust;
static_assert(kMaxOffset == 32765 && kMaxFormattedOffset < kLzxChunkSize);

constexpr unsigned kBlockVerbatim = 1;
constexpr unsigned kBlockAligned = 2;
constexpr unsigned kBlockTypeBits = 3;
constexpr unsigned kBlockSizeBits = 16;  // after a 0 flag bit; a 1 flag bit means 32768
static_assert(kLzxChunkSize - 1 < 1u << kBlockSizeBits);
constexpr unsigned kAlignedLenBits = 3;
constexpr unsigned kPretreeLenBits = 4;
// The aligned tree carries the low 3 bits of offsets whose slot has at least 3 extra bits.
constexpr unsigned kAlignedBits = 3;
static_assert(kNumAlignedSyms == 1u << kAlignedBits);

// Code-length limits: the format allows 16 for the main and length trees; the length tree and
// the pretree are held shorter, as wimlib's encoder does, to stay inside what every decoder has
// been fed. The aligned tree's 3-bit length fields cap it at 7.
constexpr unsigned kMainMaxCodeLen = 16;
constexpr unsigned kLenMaxCodeLen = 12;
constexpr unsigned kAlignedMaxCodeLen = 7;
constexpr unsigned kPretreeMaxCodeLen = 7;
static_assert(kMainMaxCodeLen <= 16, "codewords are kept in 16 bits");
static_assert(kAlignedMaxCodeLen < 1u << kAlignedLenBits && kPretreeMaxCodeLen < 1u << kPretreeLenBits);

// Pretree symbols: 0..16 are a length's difference from the previous one, (previous - new)
// mod 17; the other three code runs.
constexpr unsigned kLenModulus = 17;
constexpr unsigned kPreZeros4 = 17;   // 4 + a 4-bit count zeros
constexpr unsigned kPreZeros20 = 18;  // 20 + a 5-bit count zeros
constexpr unsigned kPreSame4 = 19;    // 4 + a 1-bit count copies of the difference that follows
static_assert(kPreSame4 + 1 == kNumPretreeSyms && kMainMaxCodeLen < kLenModulus);

// The WIM flavour translates E8 operands as if every chunk were part of a 12 MB file, and
// leaves the last 10 bytes of a chunk alone (an operand there could overrun it).
constexpr std::int32_t kE8TranslationSize = 12000000;
constexpr std::size_t kE8TailGuard = 10;

constexpr unsigned ComputeSlot(std::uint32_t formatted) {
  if (formatted < 4) return formatted;
  const unsigned log = unsigned(std::bit_width(formatted)) - 1;
  return 2 * log + ((formatted >> (log - 1)) & 1);
}
static_assert(ComputeSlot(kMaxFormattedOffset) == kNumOffsetSlots - 1);

// Formatted offsets stop below a chunk's size, so a table covers them all.
inline const std::array<std::uint8_t, kLzxChunkSize> kSlotTable = [] {
  std::array<std::uint8_t, kLzxChunkSize> t{};
  for (std::uint32_t f = 0; f < kLzxChunkSize; ++f) t[f] = std::uint8_t(ComputeSlot(f));
  return t;
}();

inline unsigned SlotOfFormatted(std::uint32_t formatted) { return kSlotTable[formatted]; }

// The main symbol of a match: its offset slot and the first part of its length.
constexpr unsigned LenHeader(unsigned len) {
  return len - kMinMatch < kLenHeaderEscape ? len - kMinMatch : kLenHeaderEscape;
}
constexpr unsigned MatchSymbol(unsigned slot, unsigned len) {
  return kNumChars + slot * kNumLenHeaders + LenHeader(len);
}
// The length symbol of a match whose header is the escape.
constexpr unsigned LenSymbol(unsigned len) { return len - kMinMatch - kLenHeaderEscape; }

}  // namespace imaging::lzx
