#include "imaging/xpress_decompressor.h"

#include <array>
#include <cstring>

#include "imaging/huffman_decoder.h"

namespace imaging {

namespace {

constexpr unsigned kSymbols = 512;  // 256 literals, then 16 offset sizes x 16 length headers
constexpr unsigned kNumChars = 256;
constexpr std::size_t kLengthsBytes = kSymbols / 2;  // two 4-bit lengths a byte, low one first
constexpr unsigned kLengthByteFollows = 15;          // length header 15: a byte (or more) follows
constexpr unsigned kLengthWordFollows = 15 + 255;    // that byte 255: a 16-bit length follows
constexpr unsigned kMinMatch = 3;
constexpr std::size_t kMaxChunk = 65536;  // offsets reach back at most 65,535 bytes

using TTable = THuffmanTable<kSymbols, 11, 15>;

// The bits come in 16-bit words as in LZX, but the bytes that lengthen a match are taken from
// the input in between, at the place where the words read so far end. That place depends on
// when words are read, so this reader reads them as Microsoft's decoder does: two at the start,
// then one whenever fewer than 16 bits are held.
class TInterleavedReader {
 public:
  TInterleavedReader(std::span<const std::uint8_t> in, std::uint64_t start)
      : in_(in), next_(start) {
    buffer_ = Word() << 16;
    buffer_ |= Word();
  }

  std::uint32_t Peek(unsigned count) const { return buffer_ >> (32 - count); }
  void Skip(unsigned count) {
    buffer_ <<= count;
    held_ -= count;
    if (held_ < 16) {
      buffer_ |= Word() << (16 - held_);
      held_ += 16;
    }
  }
  std::uint32_t Bits(unsigned count) {
    if (count == 0) return 0;
    const std::uint32_t value = Peek(count);
    Skip(count);
    return value;
  }
  // Past the end of the input these read zeros, as the words do; the checksum of the chunk's
  // resource tells a stream that needed them.
  std::uint32_t Byte() {
    if (!in_.Holds(next_, 1)) return 0;
    return in_.U8(next_++);
  }
  std::uint32_t U16() {
    if (!in_.Holds(next_, 2)) return 0;
    const std::uint32_t value = in_.U16(next_);
    next_ += 2;
    return value;
  }

 private:
  std::uint32_t Word() { return U16(); }

  marivane::TByteReader in_;
  std::uint64_t next_;
  std::uint32_t buffer_ = 0;  // the held bits at the top, the next one highest
  unsigned held_ = 32;
};

}  // namespace

struct TXpressDecompressor::TState {
  TTable table;
};

TXpressDecompressor::TXpressDecompressor() : state_(std::make_unique<TState>()) {}
TXpressDecompressor::~TXpressDecompressor() = default;

std::string TXpressDecompressor::DecodeChunk(std::span<const std::uint8_t> in,
                                             std::span<std::uint8_t> out) {
  if (out.empty() || out.size() > kMaxChunk) return "the chunk's size does not fit XPRESS";
  const marivane::TByteReader reader(in);
  if (!reader.Holds(0, kLengthsBytes)) return "the chunk is shorter than its code lengths";
  std::array<std::uint8_t, kSymbols> lengths;
  for (std::size_t i = 0; i < kLengthsBytes; ++i) {
    const std::uint8_t pair = reader.U8(i);
    lengths[2 * i] = pair & 0x0F;
    lengths[2 * i + 1] = pair >> 4;
  }
  if (state_->table.Build(lengths) != TTable::TBuilt::kComplete) return "its code is not complete";
  TInterleavedReader bits(in, kLengthsBytes);
  std::uint8_t* const data = out.data();
  const std::size_t size = out.size();
  for (std::size_t pos = 0; pos < size;) {
    const unsigned symbol = DecodeSymbol(bits, state_->table);
    if (symbol < kNumChars) {
      data[pos++] = std::uint8_t(symbol);
      continue;
    }
    const unsigned offset_bits = (symbol - kNumChars) >> 4;
    std::uint32_t length = (symbol - kNumChars) & 0x0F;
    // The length's bytes come before the offset's bits (see TInterleavedReader).
    if (length == kLengthByteFollows) {
      length += bits.Byte();
      if (length == kLengthWordFollows) length = bits.U16();
    }
    length += kMinMatch;
    const std::uint32_t offset = (1u << offset_bits) | bits.Bits(offset_bits);
    if (offset > pos) return "a match reaches back before the chunk starts";
    if (length > size - pos) return "a match runs past the end of the chunk";
    std::uint8_t* to = data + pos;
    const std::uint8_t* from = to - offset;
    if (offset >= length) {
      std::memcpy(to, from, length);
    } else {
      for (std::uint32_t k = 0; k < length; ++k) to[k] = from[k];
    }
    pos += length;
  }
  return {};
}

}  // namespace imaging
