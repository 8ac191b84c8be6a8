#include "lzx_decoder.h"

#include <array>
#include <cstring>
#include <vector>

namespace imaging::testing {

namespace {

constexpr unsigned kMainSyms = 496;
constexpr unsigned kLenSyms = 249;
constexpr unsigned kPretreeSyms = 20;
constexpr unsigned kAlignedSyms = 8;
constexpr std::int32_t kE8Size = 12000000;

class BitReader {
 public:
  explicit BitReader(std::span<const std::uint8_t> in) : in_(in) {}

  unsigned Bit() {
    if (left_ == 0) {
      // Past the end reads zeros, as real decoders do; `overrun` tells the test.
      word_ = pos_ + 1 < in_.size() ? unsigned(in_[pos_] | in_[pos_ + 1] << 8) : 0;
      if (pos_ + 1 >= in_.size()) overrun = true;
      pos_ += 2;
      left_ = 16;
    }
    --left_;
    return (word_ >> left_) & 1;
  }

  unsigned Bits(unsigned n) {
    unsigned v = 0;
    for (unsigned i = 0; i < n; ++i) v = (v << 1) | Bit();
    return v;
  }

  bool overrun = false;

 private:
  std::span<const std::uint8_t> in_;
  std::size_t pos_ = 0;
  unsigned word_ = 0;
  unsigned left_ = 0;
};

struct Code {
  std::vector<std::uint8_t> lens;
  bool empty = true;

  // Canonical decoding one bit at a time: slow and obviously right.
  std::string Check() {
    std::uint64_t kraft = 0;
    empty = true;
    for (auto l : lens)
      if (l) {
        kraft += std::uint64_t{1} << (16 - l);
        empty = false;
      }
    if (!empty && kraft != (std::uint64_t{1} << 16)) return "incomplete or oversubscribed code";
    return {};
  }

  int Decode(BitReader& b) const {
    unsigned code = 0, first = 0;
    for (unsigned len = 1; len <= 16; ++len) {
      code |= b.Bit();
      unsigned count = 0;
      for (auto l : lens) count += l == len;
      if (code - first < count) {
        unsigned k = code - first;
        for (unsigned s = 0; s < lens.size(); ++s)
          if (lens[s] == len && k-- == 0) return int(s);
      }
      first = (first + count) << 1;
      code <<= 1;
    }
    return -1;
  }
};

std::string ReadLens(BitReader& b, std::uint8_t* lens, unsigned count) {
  Code pre;
  pre.lens.resize(kPretreeSyms);
  for (auto& l : pre.lens) l = std::uint8_t(b.Bits(4));
  if (auto e = pre.Check(); !e.empty()) return "pretree: " + e;
  for (unsigned i = 0; i < count;) {
    const int sym = pre.Decode(b);
    if (sym < 0) return "bad pretree symbol";
    if (sym == 17 || sym == 18) {
      unsigned run = sym == 17 ? 4 + b.Bits(4) : 20 + b.Bits(5);
      if (i + run > count) return "zero run past the end";
      while (run--) lens[i++] = 0;
    } else if (sym == 19) {
      unsigned run = 4 + b.Bit();
      const int v = pre.Decode(b);
      if (v < 0 || v > 16) return "bad value after run symbol";
      if (i + run > count) return "same run past the end";
      const auto value = std::uint8_t((lens[i] + 17 - v) % 17);
      while (run--) lens[i++] = value;
    } else {
      lens[i] = std::uint8_t((lens[i] + 17 - sym) % 17);
      ++i;
    }
  }
  return {};
}

std::uint32_t SlotBase(unsigned slot) {
  if (slot < 4) return slot;
  const unsigned bits = slot / 2 - 1;
  return (std::uint32_t{2} | (slot & 1)) << bits;
}

}  // namespace

std::string LzxDecodeChunk(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  BitReader b(in);
  std::array<std::uint8_t, kMainSyms> main_lens{};
  std::array<std::uint8_t, kLenSyms> len_lens{};
  std::uint32_t r[3] = {1, 1, 1};
  const std::size_t n = out.size();
  std::size_t pos = 0;

  while (pos < n) {
    const unsigned type = b.Bits(3);
    if (type != 1 && type != 2) return "block type " + std::to_string(type);
    std::size_t size = b.Bit() ? 32768 : b.Bits(16);
    if (size == 0 || size > n - pos) return "block size " + std::to_string(size);
    Code aligned;
    if (type == 2) {
      aligned.lens.resize(kAlignedSyms);
      for (auto& l : aligned.lens) l = std::uint8_t(b.Bits(3));
      if (auto e = aligned.Check(); !e.empty() || aligned.empty) return "aligned tree: " + e;
    }
    if (auto e = ReadLens(b, main_lens.data(), 256); !e.empty()) return e;
    if (auto e = ReadLens(b, main_lens.data() + 256, kMainSyms - 256); !e.empty()) return e;
    if (auto e = ReadLens(b, len_lens.data(), kLenSyms); !e.empty()) return e;
    Code main_code{std::vector<std::uint8_t>(main_lens.begin(), main_lens.end())};
    Code len_code{std::vector<std::uint8_t>(len_lens.begin(), len_lens.end())};
    if (auto e = main_code.Check(); !e.empty() || main_code.empty) return "main tree: " + e;
    if (auto e = len_code.Check(); !e.empty()) return "length tree: " + e;

    const std::size_t end = pos + size;
    while (pos < end) {
      const int sym = main_code.Decode(b);
      if (sym < 0) return "bad main symbol";
      if (sym < 256) {
        out[pos++] = std::uint8_t(sym);
        continue;
      }
      const unsigned slot = unsigned(sym - 256) >> 3;
      unsigned len = unsigned(sym - 256) & 7;
      if (len == 7) {
        if (len_code.empty) return "length symbol with an empty length tree";
        const int ls = len_code.Decode(b);
        if (ls < 0) return "bad length symbol";
        len = 7 + unsigned(ls);
      }
      len += 2;
      std::uint32_t offset;
      if (slot < 3) {
        offset = r[slot];
        r[slot] = r[0];
        r[0] = offset;
      } else {
        const unsigned extra_bits = slot < 4 ? 0 : slot / 2 - 1;
        std::uint32_t extra;
        if (type == 2 && extra_bits >= 3) {
          extra = b.Bits(extra_bits - 3) << 3;
          const int a = aligned.Decode(b);
          if (a < 0) return "bad aligned symbol";
          extra |= unsigned(a);
        } else {
          extra = b.Bits(extra_bits);
        }
        offset = SlotBase(slot) + extra - 2;
        r[2] = r[1];
        r[1] = r[0];
        r[0] = offset;
      }
      if (offset == 0 || offset > pos) return "offset " + std::to_string(offset) + " before chunk start";
      if (len > end - pos) return "match crosses the block end";
      for (unsigned k = 0; k < len; ++k, ++pos) out[pos] = out[pos - offset];
    }
    if (b.overrun) return "ran out of input";
  }

  if (n > 10) {
    for (std::size_t i = 0; i < n - 10;) {
      if (out[i] != 0xE8) {
        ++i;
        continue;
      }
      std::int32_t a;
      std::memcpy(&a, &out[i + 1], 4);
      const auto p = std::int32_t(i);
      if (a >= 0 && a < kE8Size) {
        a -= p;
        std::memcpy(&out[i + 1], &a, 4);
      } else if (a < 0 && a >= -p) {
        a += kE8Size;
        std::memcpy(&out[i + 1], &a, 4);
      }
      i += 5;
    }
  }
  return {};
}

}  // namespace imaging::testing
