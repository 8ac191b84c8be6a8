// The decoding side of the canonical Huffman codes that LZX and XPRESS use, and the bit readers
// both formats share: a stream of 16-bit little-endian words read from their most significant
// bit. Both readers take every byte through TByteReader's checks, so a forged stream can only
// read zeros past its end, never memory beyond it.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "base/byte_reader.h"

namespace imaging {

// --- Decode tables ---

// A table indexed by the next kRootBits bits of the stream. A codeword no longer than that is
// found in one look; a longer one's root entry points to a subtable indexed by the bits after
// the root's, sized for the longest codeword under that prefix.
// Entry: symbol (or subtable start) << 16 | kSubtableEntry when it points on | bits to take.
inline constexpr std::uint32_t kSubtableEntry = 1u << 8;

template <unsigned kSymbols, unsigned kRootBits, unsigned kMaxLength>
class THuffmanTable {
 public:
  static constexpr unsigned kRoot = kRootBits;
  static_assert(kRootBits <= kMaxLength && kMaxLength <= 16 && kSymbols < (1u << 16));

  enum class TBuilt { kComplete, kEmpty, kBroken };

  // From code lengths (0 = unused) in symbol order, none above kMaxLength. A code that leaves
  // part of the code space unused or claims more than all of it is kBroken, as real decoders
  // refuse both; all lengths zero is kEmpty, which some streams send for a code they never use.
  TBuilt Build(std::span<const std::uint8_t> lengths) {
    if (lengths.size() > kSymbols) return TBuilt::kBroken;
    std::array<std::uint16_t, kMaxLength + 1> count{};
    for (std::uint8_t length : lengths) {
      if (length > kMaxLength) return TBuilt::kBroken;
      ++count[length];
    }
    if (count[0] == lengths.size()) return TBuilt::kEmpty;
    // Code space left at each length: it may never go below zero and must end at zero.
    std::int64_t left = 1;
    for (unsigned length = 1; length <= kMaxLength; ++length) {
      left = 2 * left - count[length];
      if (left < 0) return TBuilt::kBroken;
    }
    if (left != 0) return TBuilt::kBroken;

    // Canonical codewords: shorter lengths first, equal lengths in symbol order.
    std::array<std::uint32_t, kMaxLength + 2> next{};
    for (unsigned length = 1; length <= kMaxLength; ++length)
      next[length + 1] = (next[length] + count[length]) << 1;
    std::array<std::uint16_t, kMaxLength + 2> first{};  // index of each length in `sorted`
    for (unsigned length = 1; length <= kMaxLength; ++length)
      first[length + 1] = std::uint16_t(first[length] + count[length]);
    std::array<std::uint16_t, kSymbols> sorted;
    std::array<std::uint16_t, kMaxLength + 2> fill = first;
    for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol)
      if (lengths[symbol] != 0) sorted[fill[lengths[symbol]]++] = std::uint16_t(symbol);
    const std::size_t used = lengths.size() - count[0];

    // Codewords under one root prefix are neighbours in canonical order and the longest comes
    // last, so one pass from the end finds each subtable's depth.
    std::array<std::uint8_t, (1u << kRootBits)> depth{};
    {
      std::array<std::uint32_t, kMaxLength + 2> code = next;
      for (unsigned length = 1; length <= kMaxLength; ++length) code[length] += count[length];
      for (std::size_t i = used; i-- > 0;) {
        const unsigned length = lengths[sorted[i]];
        if (length <= kRootBits) break;
        const std::uint32_t prefix = --code[length] >> (length - kRootBits);
        if (depth[prefix] == 0) depth[prefix] = std::uint8_t(length - kRootBits);
      }
    }

    std::array<bool, (1u << kRootBits)> started{};
    std::size_t free_at = 1u << kRootBits;
    for (std::size_t i = 0; i < used; ++i) {
      const std::uint16_t symbol = sorted[i];
      const unsigned length = lengths[symbol];
      const std::uint32_t code = next[length]++;
      if (length <= kRootBits) {
        const std::uint32_t start = code << (kRootBits - length);
        for (std::uint32_t k = 0; k < (1u << (kRootBits - length)); ++k)
          entries_[start + k] = std::uint32_t(symbol) << 16 | length;
        continue;
      }
      const std::uint32_t prefix = code >> (length - kRootBits);
      const unsigned sub_bits = depth[prefix];
      std::uint32_t& root = entries_[prefix];
      if (!started[prefix]) {
        started[prefix] = true;
        if (kCapacity - free_at < (std::size_t{1} << sub_bits)) return TBuilt::kBroken;
        root = std::uint32_t(free_at) << 16 | kSubtableEntry | sub_bits;
        free_at += std::size_t{1} << sub_bits;
      }
      const unsigned below = length - kRootBits;
      const std::uint32_t start =
          (root >> 16) + ((code & ((1u << below) - 1)) << (sub_bits - below));
      for (std::uint32_t k = 0; k < (1u << (sub_bits - below)); ++k)
        entries_[start + k] = std::uint32_t(symbol) << 16 | below;
    }
    return TBuilt::kComplete;
  }

  std::uint32_t At(std::uint32_t index) const { return entries_[index]; }

 private:
  // A subtable of depth d holds 2^d entries and at least d + 1 codewords (its part of a
  // complete code is itself complete), so the codewords longer than the root can never need
  // more than kSymbols * 2^D / (D + 1) entries, D being the deepest a subtable goes.
  static constexpr unsigned kDeepest = kMaxLength - kRootBits;
  static constexpr std::size_t kCapacity =
      (std::size_t{1} << kRootBits) + kSymbols * (std::size_t{1} << kDeepest) / (kDeepest + 1) + 1;

  std::array<std::uint32_t, kCapacity> entries_;
};

// --- Bit readers ---

// LZX's reader: up to 64 bits held, taken from the input eight bytes at a time where that many
// remain. Position() counts the bits consumed, so the decoder can tell a stream that ran past
// its end (it reads zeros there) from one that ended in time.
class TWordBitReader {
 public:
  explicit TWordBitReader(std::span<const std::uint8_t> in) : in_(in) {}

  // At least 32 bits held afterwards: a main or length symbol and a length symbol, or any
  // offset's extra bits. Below that, whole words are loaded until 48 or more are held, so that
  // the load is paid once every few symbols.
  [[gnu::always_inline]] void Refill() {
    if (held_ >= 32) return;
    if (in_.Holds(next_, 8)) {
      // Four words, the first to the top. The bits of a word only partly taken stay below the
      // held ones, and the next refill puts the same bits in the same place.
      std::uint64_t words = in_.U64(next_);
      words = words << 32 | words >> 32;
      words = (words & 0x0000FFFF0000FFFFull) << 16 | (words >> 16 & 0x0000FFFF0000FFFFull);
      buffer_ |= words >> held_;
      const unsigned taken = (64 - held_) / 16;
      next_ += 2 * taken;
      held_ += 16 * taken;
      return;
    }
    // Word by word near the end, zeros past it. Inline like the rest: a call would take the
    // reader's address and keep the decoder's copy of it out of registers.
    while (held_ <= 48) {
      const std::uint64_t word = in_.Holds(next_, 2) ? in_.U16(next_) : 0;
      buffer_ |= word << (48 - held_);
      next_ += 2;
      held_ += 16;
    }
  }

  // The next `count` bits (1 to 32), which the caller made sure are held.
  std::uint32_t Peek(unsigned count) const { return std::uint32_t(buffer_ >> (64 - count)); }
  void Skip(unsigned count) {
    buffer_ <<= count;
    held_ -= count;
  }
  // 0 to 32 bits; a count of 0 reads nothing.
  std::uint32_t Bits(unsigned count) {
    if (count == 0) return 0;
    const std::uint32_t value = Peek(count);
    Skip(count);
    return value;
  }

  std::uint64_t Position() const { return next_ * 8 - held_; }
  bool Overrun() const { return Position() > in_.Size() * 8; }

  // Steps to the start of the next word, past 1 to 16 bits (a stream already on a word
  // boundary skips a whole word), and takes `count` bytes from there; false if they are not
  // all in the input.
  bool AlignAndTake(std::uint64_t count, std::span<const std::uint8_t>& bytes) {
    next_ = (Position() / 16 + 1) * 2;
    buffer_ = 0;
    held_ = 0;
    return Take(count, bytes);
  }
  // Bytes straight from the input where the bits stopped at a word boundary; false if short.
  bool Take(std::uint64_t count, std::span<const std::uint8_t>& bytes) {
    if (held_ != 0 || !in_.Holds(next_, count)) return false;
    bytes = in_.Bytes(next_, count);
    next_ += count;
    return true;
  }

 private:
  marivane::TByteReader in_;
  std::uint64_t buffer_ = 0;  // the held bits at the top, the next one highest
  unsigned held_ = 0;
  std::uint64_t next_ = 0;  // input offset of the next word to load
};

// Decodes one symbol; the reader must hold at least kMaxLength bits (TWordBitReader) or keep
// them itself (the XPRESS reader).
template <typename TReader, typename TTable>
[[gnu::always_inline]] inline unsigned DecodeSymbol(TReader& reader, const TTable& table) {
  std::uint32_t entry = table.At(reader.Peek(TTable::kRoot));
  if (entry & kSubtableEntry) {
    reader.Skip(TTable::kRoot);
    entry = table.At((entry >> 16) + reader.Peek(entry & 0xFF));
  }
  reader.Skip(entry & 0xFF);
  return entry >> 16;
}

}  // namespace imaging
