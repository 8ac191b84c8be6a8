#include "imaging/lzx_decompressor.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "imaging/huffman_decoder.h"

namespace imaging {

namespace {

constexpr unsigned kNumChars = 256;
constexpr unsigned kNumLengthHeaders = 8;  // low 3 bits of a match's main symbol
constexpr unsigned kLengthEscape = 7;      // header 7: the length goes on in the length code
constexpr unsigned kMinMatch = 2;
constexpr unsigned kMaxSlots = 50;  // a 2 MiB window
constexpr unsigned kMaxMainSymbols = kNumChars + kMaxSlots * kNumLengthHeaders;  // 656
constexpr unsigned kLengthSymbols = 249;  // lengths 9..257
constexpr unsigned kAlignedSymbols = 8;
constexpr unsigned kPretreeSymbols = 20;
constexpr unsigned kRecentOffsets = 3;  // slots 0..2 repeat an offset from the queue
// Slots from 8 on (3 extra bits or more) send their low 3 offset bits through the aligned code
// in an aligned block.
constexpr unsigned kFirstAlignedSlot = 8;
constexpr unsigned kAlignedBits = 3;
constexpr std::uint32_t kMinWindow = 32768;
constexpr std::uint32_t kMaxWindow = 2097152;
constexpr std::uint32_t kDefaultBlockSize = 32768;  // what a block-size flag of 1 means
constexpr std::uint32_t kWideBlockWindow = 65536;   // from here a size is 16 + 8 bits
constexpr std::int32_t kE8TranslationSize = 12000000;
constexpr std::size_t kE8TailGuard = 10;  // the last 10 bytes of a chunk are never translated

enum : unsigned { kBlockVerbatim = 1, kBlockAligned = 2, kBlockUncompressed = 3 };

// Pretree symbols: 0..16 a length difference mod 17, then three kinds of run.
constexpr unsigned kPreZeros4 = 17;   // 4 + 4-bit count zeros
constexpr unsigned kPreZeros20 = 18;  // 20 + 5-bit count zeros
constexpr unsigned kPreSame4 = 19;    // 4 + 1-bit count copies of the next symbol's value
constexpr unsigned kLengthModulus = 17;

// Root table sizes: the main code's 11 bits catch nearly every literal and match header of a
// photograph in one look; the small codes fit their roots whole or nearly.
using TMainTable = THuffmanTable<kMaxMainSymbols, 11, 16>;
using TLengthTable = THuffmanTable<kLengthSymbols, 10, 16>;
using TAlignedTable = THuffmanTable<kAlignedSymbols, 7, 7>;
using TPretreeTable = THuffmanTable<kPretreeSymbols, 7, 15>;

// Offset slots: the extra bits each sends and the smallest real offset it stands for (slots
// 0..2 are the recent offsets; real offset = formatted offset - 2).
struct TSlots {
  std::array<std::uint8_t, kMaxSlots> extra{};
  std::array<std::uint32_t, kMaxSlots> base{};
};

constexpr TSlots MakeSlots() {
  TSlots slots;
  std::uint32_t formatted = 0;
  for (unsigned slot = 0; slot < kMaxSlots; ++slot) {
    const unsigned extra = slot < 4 ? 0 : (slot / 2 - 1 < 17 ? slot / 2 - 1 : 17);
    slots.extra[slot] = std::uint8_t(extra);
    slots.base[slot] = formatted - 2;  // wraps for slots 0 and 1, which never use it
    formatted += 1u << extra;
  }
  return slots;
}
constexpr TSlots kSlots = MakeSlots();
static_assert(kSlots.base[29] == 24574 && kSlots.extra[29] == 13 && kSlots.base[49] == 1966078);

// The offset slots a window needs: every offset up to window - 3 (a match may not reach the
// window's first two bytes from its last).
constexpr unsigned SlotsFor(std::uint32_t window) {
  unsigned slots = kRecentOffsets;
  while (slots < kMaxSlots && kSlots.base[slots] <= window - 3) ++slots;
  return slots;
}
static_assert(SlotsFor(32768) == 30 && SlotsFor(kMaxWindow) == 50);

// Copies a match of `length` bytes from `offset` back; both were checked against the chunk.
// Eight bytes at a time where there is room in the chunk for the overshoot, which later bytes
// overwrite. A source closer than eight bytes overlaps what is being written, so each eight
// then yields only `offset` finished bytes and the copy steps by that much.
inline void CopyMatch(std::uint8_t* out, std::size_t at, std::size_t room, std::uint32_t offset,
                      std::uint32_t length) {
  std::uint8_t* to = out + at;
  const std::uint8_t* from = to - offset;
  if (offset == 1) {
    std::memset(to, *from, length);
  } else if (room < length + 7) {
    for (std::uint32_t k = 0; k < length; ++k) to[k] = from[k];
  } else {
    const std::uint32_t step = offset < 8 ? offset : 8;
    for (std::uint32_t k = 0; k < length; k += step) {
      std::uint64_t eight;
      std::memcpy(&eight, from + k, 8);
      std::memcpy(to + k, &eight, 8);
    }
  }
}

void UndoE8(std::span<std::uint8_t> chunk) {
  if (chunk.size() <= kE8TailGuard) return;
  std::uint8_t* const data = chunk.data();
  const std::size_t limit = chunk.size() - kE8TailGuard;
  for (std::size_t i = 0; i < limit;) {
    const void* hit = std::memchr(data + i, 0xE8, limit - i);
    if (hit == nullptr) break;
    i = std::size_t(static_cast<const std::uint8_t*>(hit) - data);
    std::int32_t value;
    std::memcpy(&value, data + i + 1, 4);
    const auto at = std::int32_t(i);
    if (value >= 0 && value < kE8TranslationSize) {
      value -= at;
      std::memcpy(data + i + 1, &value, 4);
    } else if (value < 0 && value >= -at) {
      value += kE8TranslationSize;
      std::memcpy(data + i + 1, &value, 4);
    }
    i += 5;
  }
}

}  // namespace

struct TLzxDecompressor::TState {
  std::uint32_t window = kMinWindow;
  unsigned main_symbols = 0;
  TMainTable main_code;
  TLengthTable length_code;
  TAlignedTable aligned_code;
  TPretreeTable pretree_code;
  // Code lengths of the chunk's last block, against which the next block's are sent.
  std::array<std::uint8_t, kMaxMainSymbols> main_lengths{};
  std::array<std::uint8_t, kLengthSymbols> length_lengths{};
  bool length_code_empty = false;

  std::string ReadCodeLengths(TWordBitReader& in, std::span<std::uint8_t> lengths);
  std::string ReadTrees(TWordBitReader& in, unsigned type);
  template <bool kAligned>
  std::string DecodeBlock(TWordBitReader& bits, std::span<std::uint8_t> out, std::size_t& at,
                          std::size_t end, std::array<std::uint32_t, kRecentOffsets>& recent);
};

TLzxDecompressor::TLzxDecompressor(std::uint32_t chunk_size) : state_(std::make_unique<TState>()) {
  state_->window = std::clamp(chunk_size, kMinWindow, kMaxWindow);
  state_->main_symbols = kNumChars + SlotsFor(state_->window) * kNumLengthHeaders;
}

TLzxDecompressor::~TLzxDecompressor() = default;

// A pretree, then the lengths it codes, each sent as its difference from the length before.
std::string TLzxDecompressor::TState::ReadCodeLengths(TWordBitReader& in,
                                                      std::span<std::uint8_t> lengths) {
  std::array<std::uint8_t, kPretreeSymbols> pre;
  for (unsigned i = 0; i < kPretreeSymbols; ++i) {
    in.Refill();
    pre[i] = std::uint8_t(in.Bits(4));
  }
  if (pretree_code.Build(pre) != TPretreeTable::TBuilt::kComplete)
    return "its pretree is not a complete code";
  for (std::size_t i = 0; i < lengths.size();) {
    in.Refill();
    const unsigned symbol = DecodeSymbol(in, pretree_code);
    if (symbol < kLengthModulus) {
      lengths[i] = std::uint8_t((lengths[i] + kLengthModulus - symbol) % kLengthModulus);
      ++i;
      continue;
    }
    std::size_t run;
    std::uint8_t value = 0;
    if (symbol == kPreZeros4) {
      run = 4 + in.Bits(4);
    } else if (symbol == kPreZeros20) {
      run = 20 + in.Bits(5);
    } else {
      static_assert(kPreSame4 + 1 == kPretreeSymbols, "the only symbol left");
      run = 4 + in.Bits(1);
      in.Refill();
      const unsigned difference = DecodeSymbol(in, pretree_code);
      if (difference >= kLengthModulus) return "a run of code lengths has no length";
      value = std::uint8_t((lengths[i] + kLengthModulus - difference) % kLengthModulus);
    }
    if (run > lengths.size() - i) return "a run of code lengths goes past the last symbol";
    std::memset(&lengths[i], value, run);
    i += run;
  }
  return {};
}

std::string TLzxDecompressor::TState::ReadTrees(TWordBitReader& in, unsigned type) {
  if (type == kBlockAligned) {
    std::array<std::uint8_t, kAlignedSymbols> aligned_lengths;
    in.Refill();
    for (std::uint8_t& length : aligned_lengths) length = std::uint8_t(in.Bits(3));
    if (aligned_code.Build(aligned_lengths) != TAlignedTable::TBuilt::kComplete)
      return "its aligned offset code is not complete";
  }
  const std::span<std::uint8_t> main_span(main_lengths.data(), main_symbols);
  if (std::string e = ReadCodeLengths(in, main_span.first(kNumChars)); !e.empty()) return e;
  if (std::string e = ReadCodeLengths(in, main_span.subspan(kNumChars)); !e.empty()) return e;
  if (std::string e = ReadCodeLengths(in, length_lengths); !e.empty()) return e;
  if (main_code.Build(main_span) != TMainTable::TBuilt::kComplete)
    return "its main code is not complete";
  const auto built = length_code.Build(length_lengths);
  if (built == TLengthTable::TBuilt::kBroken) return "its length code is not complete";
  length_code_empty = built == TLengthTable::TBuilt::kEmpty;
  return {};
}

// Literals and matches up to `end`. The reader is copied in and out so that the compiler may
// keep it in registers: stores to the output could otherwise alias it.
template <bool kAligned>
std::string TLzxDecompressor::TState::DecodeBlock(
    TWordBitReader& bits, std::span<std::uint8_t> out, std::size_t& at, std::size_t end,
    std::array<std::uint32_t, kRecentOffsets>& recent) {
  TWordBitReader in = bits;
  std::uint8_t* const data = out.data();
  const std::size_t size = out.size();
  std::size_t pos = at;
  std::uint32_t r0 = recent[0], r1 = recent[1], r2 = recent[2];
  while (pos < end) {
    in.Refill();  // a main symbol and a length symbol, 16 bits at most each
    unsigned symbol = DecodeSymbol(in, main_code);
    if (symbol < kNumChars) {
      data[pos++] = std::uint8_t(symbol);
      if (pos == end) break;
      // At least 16 bits are still held after a literal, enough for a second symbol without
      // a refill: photographs are mostly literals, and this took 8% off reading a picture.
      symbol = DecodeSymbol(in, main_code);
      if (symbol < kNumChars) {
        data[pos++] = std::uint8_t(symbol);
        continue;
      }
      in.Refill();  // for the match's length symbol
    }
    const unsigned header = (symbol - kNumChars) % kNumLengthHeaders;
    const unsigned slot = (symbol - kNumChars) / kNumLengthHeaders;
    std::uint32_t length = header + kMinMatch;
    if (header == kLengthEscape) {
      if (length_code_empty) return "a match needs its length code, which is empty";
      length += DecodeSymbol(in, length_code);
    }
    std::uint32_t offset;
    if (slot < kRecentOffsets) {
      // Not a true LRU: slot 2 trades places with R0 and leaves R1 alone.
      if (slot == 1) {
        offset = r1;
        r1 = r0;
        r0 = offset;
      } else if (slot == 2) {
        offset = r2;
        r2 = r0;
        r0 = offset;
      } else {
        offset = r0;
      }
    } else {
      const unsigned extra = kSlots.extra[slot];
      in.Refill();  // up to 17 bits, or 14 and an aligned symbol of 7
      if (kAligned && slot >= kFirstAlignedSlot) {
        offset = in.Bits(extra - kAlignedBits) << kAlignedBits;
        offset |= DecodeSymbol(in, aligned_code);
      } else {
        offset = in.Bits(extra);
      }
      offset += kSlots.base[slot];
      r2 = r1;
      r1 = r0;
      r0 = offset;
    }
    if (offset > pos) return "a match reaches back before the chunk starts";
    if (length > end - pos) return "a match runs past the end of its block";
    CopyMatch(data, pos, size - pos, offset, length);
    pos += length;
  }
  recent = {r0, r1, r2};
  bits = in;
  at = pos;
  return {};
}

std::string TLzxDecompressor::DecodeChunk(std::span<const std::uint8_t> in,
                                          std::span<std::uint8_t> out) {
  TState& s = *state_;
  if (out.empty() || out.size() > s.window) return "the chunk's size does not fit its window";
  TWordBitReader bits(in);
  std::array<std::uint32_t, kRecentOffsets> recent = {1, 1, 1};
  s.main_lengths.fill(0);
  s.length_lengths.fill(0);
  std::size_t at = 0;
  while (at < out.size()) {
    bits.Refill();
    const unsigned type = bits.Bits(3);
    std::uint32_t size = kDefaultBlockSize;
    if (bits.Bits(1) == 0) {
      size = bits.Bits(16);
      if (s.window >= kWideBlockWindow) size = size << 8 | bits.Bits(8);
    }
    if (size == 0 || size > out.size() - at)
      return "a block of " + std::to_string(size) + " bytes where " +
             std::to_string(out.size() - at) + " remain";
    std::string e;
    if (type == kBlockUncompressed) {
      // R0, R1, R2 from the next word boundary on, then the bytes, then a pad byte after an odd
      // count (wimlib tolerates a missing one at the very end, and so does this).
      std::span<const std::uint8_t> raw;
      if (!bits.AlignAndTake(4 * kRecentOffsets, raw)) return "an uncompressed block is cut short";
      const marivane::TByteReader queue(raw);
      for (unsigned k = 0; k < kRecentOffsets; ++k) recent[k] = queue.U32(4 * k);
      if (recent[0] == 0 || recent[1] == 0 || recent[2] == 0)
        return "an uncompressed block sets a recent offset of 0";
      if (!bits.Take(size, raw)) return "an uncompressed block is cut short";
      std::memcpy(out.data() + at, raw.data(), size);
      at += size;
      if (size % 2 != 0) bits.Take(1, raw);
      continue;
    }
    if (type != kBlockVerbatim && type != kBlockAligned)
      return "a block of unknown type " + std::to_string(type);
    if (!(e = s.ReadTrees(bits, type)).empty()) return e;
    e = type == kBlockAligned ? s.DecodeBlock<true>(bits, out, at, at + size, recent)
                              : s.DecodeBlock<false>(bits, out, at, at + size, recent);
    if (!e.empty()) return e;
  }
  if (bits.Overrun()) return "the chunk's bits end before its data does";
  UndoE8(out);
  return {};
}

}  // namespace imaging
