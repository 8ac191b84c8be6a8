// Compressor-level checks through the library's own decoder: fast, and able to aim at single
// chunks.
// Archive-level checks through wimlib and 7-Zip are in wim_roundtrip_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "imaging/huffman.h"
#include "imaging/lzx_compressor.h"
#include "imaging/lzx_decompressor.h"
#include "imaging/sha1.h"
#include "test_data.h"

namespace imaging {
namespace {

using testing::Bytes;
using testing::E8Edges;
using testing::LongestMatches;
using testing::PhotoLike;
using testing::RandomBytes;
using testing::RepeatOffsets;

// Copies at one offset broken by single changed bytes, one of them two bytes before the end:
// the parser prices "match, literal, R0 match" as one step and must unfold it right.
Bytes GapMatches(std::size_t n) {
  Bytes b = RandomBytes(n, 11);
  for (std::size_t i = 3072; i < n; ++i) b[i] = i % 41 == 0 ? std::uint8_t(b[i] + 1) : b[i - 3072];
  b[n - 3] = std::uint8_t(b[n - 3] + 1);
  return b;
}

// Copies from distances that are all multiples of 8 between random bytes: the low three offset
// bits always agree, so the block takes the aligned-offset type, whose size is counted before
// it is written just as the verbatim type's is.
Bytes AlignedOffsets(std::size_t n) {
  Bytes b = RandomBytes(n, 13);
  std::mt19937 rng(14);
  for (std::size_t i = 4096; i + 24 <= n; i += 24) {
    const std::size_t back = 8 * (64 + rng() % 400);
    std::copy_n(&b[i - back], 16, &b[i]);
  }
  return b;
}

struct ChunkCase {
  const char* name;
  std::size_t size;
  std::function<Bytes(std::size_t)> make;
  bool compressible;
  unsigned block_type = 0;  // 1 verbatim, 2 aligned; 0 either
};

void PrintTo(const ChunkCase& c, std::ostream* os) { *os << c.name; }

class LzxChunk : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(LzxChunk, DecodesToTheInputOrIsLeftRaw) {
  const ChunkCase& c = GetParam();
  const Bytes input = c.make(c.size);
  TLzxCompressor lzx;
  Bytes packed;
  const bool compressed = lzx.CompressChunk(input, packed);
  ASSERT_EQ(compressed, c.compressible);
  if (!compressed) return;
  if (c.block_type != 0) {
    EXPECT_EQ(packed[1] >> 5, c.block_type) << "block type";
  }
  ASSERT_LT(packed.size(), input.size());
  ASSERT_EQ(packed.size() % 2, 0u) << "output must be whole 16-bit words";
  Bytes decoded(input.size());
  ASSERT_EQ(TLzxDecompressor().DecodeChunk(packed, decoded), "");
  EXPECT_TRUE(decoded == input);
}

INSTANTIATE_TEST_SUITE_P(
    Chunks, LzxChunk,
    ::testing::Values(
        ChunkCase{"photo_full", 32768, [](std::size_t n) { return PhotoLike(n, 1); }, true},
        ChunkCase{"photo_tail", 31030, [](std::size_t n) { return PhotoLike(n, 2); }, true},
        ChunkCase{"e8_full", 32768, E8Edges, true},
        ChunkCase{"e8_short", 4001, E8Edges, true},
        ChunkCase{"e8_untouched_full", 32768, testing::E8Untouched, true},
        ChunkCase{"e8_untouched_short", 4001, testing::E8Untouched, true},
        ChunkCase{"repeat_offsets", 32768, RepeatOffsets, true},
        ChunkCase{"longest_matches", 32768, LongestMatches, true},
        ChunkCase{"gap_matches", 31031, GapMatches, true},
        ChunkCase{"aligned_offsets", 32768, AlignedOffsets, true, 2},
        ChunkCase{"all_equal", 32768, [](std::size_t n) { return Bytes(n, 0x5A); }, true},
        ChunkCase{"two_symbols", 32768, [](std::size_t n) { Bytes b(n, 0); b[n / 2] = 1; return b; }, true},
        ChunkCase{"noise", 32768, [](std::size_t n) { return RandomBytes(n, 5); }, false},
        ChunkCase{"one_byte", 1, [](std::size_t n) { return Bytes(n, 0x42); }, false},
        ChunkCase{"bmp_tail", 54, [](std::size_t n) { return RandomBytes(n, 9); }, false}),
    [](const ::testing::TestParamInfo<ChunkCase>& param) { return std::string(param.param.name); });

// One compressor carries its cost model from chunk to chunk; a chunk after a very different
// one must still decode on its own (nothing but statistics may leak across).
TEST(LzxCompressor, ChunksStayIndependentAcrossASequence) {
  TLzxCompressor lzx;
  const Bytes inputs[] = {PhotoLike(32768, 3), Bytes(32768, 0), RepeatOffsets(32768), PhotoLike(9000, 4),
                          E8Edges(32768)};
  for (const Bytes& in : inputs) {
    Bytes packed;
    ASSERT_TRUE(lzx.CompressChunk(in, packed));
    Bytes decoded(in.size());
    ASSERT_EQ(TLzxDecompressor().DecodeChunk(packed, decoded), "");
    ASSERT_TRUE(decoded == in);
  }
}

// A resource's second part goes to a thread of its own; the bytes must be the ones the calling
// thread makes alone, and each chunk must decode, the raw one among them too.
TEST(LzxResourceCompressor, TwoThreadsGiveTheBytesOfOne) {
  Bytes data = PhotoLike(4 * kLzxChunkSize + 500, 6);
  const Bytes noise = RandomBytes(kLzxChunkSize, 7);
  std::memcpy(data.data() + 3 * kLzxChunkSize, noise.data(), noise.size());
  Bytes out[2];
  std::vector<std::size_t> ends[2];
  for (unsigned threads : {1u, 2u}) {
    TLzxTuning tuning;
    tuning.threads = threads;
    TLzxResourceCompressor lzx(tuning);
    lzx.Compress(data, out[threads - 1], ends[threads - 1]);
  }
  ASSERT_TRUE(out[0] == out[1]);
  ASSERT_EQ(ends[0], ends[1]);
  ASSERT_EQ(ends[0].size(), 5u);
  for (std::size_t i = 0, start = 0; i < ends[0].size(); start = ends[0][i++]) {
    const std::size_t size = std::min(kLzxChunkSize, data.size() - i * kLzxChunkSize);
    const Bytes in(data.begin() + i * kLzxChunkSize, data.begin() + i * kLzxChunkSize + size);
    const Bytes stored(out[0].begin() + start, out[0].begin() + ends[0][i]);
    EXPECT_EQ(stored.size() == size, i == 3) << "chunk " << i;
    Bytes decoded(size);
    if (stored.size() == size)
      decoded = stored;
    else
      ASSERT_EQ(TLzxDecompressor().DecodeChunk(stored, decoded), "") << "chunk " << i;
    EXPECT_TRUE(decoded == in) << "chunk " << i;
  }
}

// Neither our compressor nor wimlib's writes uncompressed blocks, but other writers may. Two in
// one chunk, the first of an odd size: the stream goes from bits to bytes past the rest of the
// header's word, and back to bits after the pad byte, twice.
TEST(LzxDecompressor, ReadsUncompressedBlocks) {
  Bytes stream;
  auto block = [&](const std::string& text) {
    // Type 3, a 0 flag bit and 16 bits of size: 20 bits, then zeros to the end of the word.
    const std::uint32_t header = 3u << 29 | std::uint32_t(text.size()) << 12;
    for (const std::uint32_t word : {header >> 16, header & 0xFFFF})
      stream.insert(stream.end(), {std::uint8_t(word), std::uint8_t(word >> 8)});
    for (int recent = 0; recent < 3; ++recent) stream.insert(stream.end(), {1, 0, 0, 0});
    stream.insert(stream.end(), text.begin(), text.end());
    if (text.size() % 2 != 0) stream.push_back(0);
  };
  block("odd!!");
  block("even!!");
  Bytes out(11);
  ASSERT_EQ(TLzxDecompressor().DecodeChunk(stream, out), "");
  EXPECT_EQ(std::string(out.begin(), out.end()), "odd!!even!!");
}

TEST(LzxTranslateE8, LeavesTheLastTenBytesAndOperandBytesAlone) {
  Bytes b(32, 0);
  b[21] = 0xE8;  // n-11: translated (operand 0 at position 21 becomes 21)
  b[27] = 0xE8;  // beyond n-11: untouched
  b[28] = 1;
  const Bytes before = b;
  LzxTranslateE8(b);
  EXPECT_EQ(b[22], 21);
  EXPECT_TRUE(std::equal(b.begin() + 26, b.end(), before.begin() + 26));
}

// --- Huffman ---

TEST(Huffman, LimitedLengthsFormACompleteCode) {
  // Fibonacci weights would want a 30-bit code; the limit must hold and the code stay complete.
  struct Case {
    std::vector<std::uint32_t> freqs;
    unsigned max_len;
  };
  std::vector<std::uint32_t> fib(30);
  fib[0] = fib[1] = 1;
  for (std::size_t i = 2; i < fib.size(); ++i) fib[i] = fib[i - 1] + fib[i - 2];
  std::vector<std::uint32_t> sparse(496, 0);
  sparse[7] = 1000;
  sparse[300] = 1;
  sparse[495] = 1;
  const Case cases[] = {{fib, 16}, {fib, 7}, {std::vector<std::uint32_t>(20, 1), 7}, {sparse, 16},
                        {std::vector<std::uint32_t>(8, 0), 7}, {{0, 0, 9, 0}, 7}};
  for (const Case& c : cases) {
    std::vector<std::uint8_t> lens(c.freqs.size());
    BuildCodeLengths(c.freqs, c.max_len, lens);
    std::uint64_t kraft = 0;
    unsigned used = 0;
    for (std::size_t s = 0; s < lens.size(); ++s) {
      ASSERT_LE(lens[s], c.max_len);
      if (c.freqs[s]) {
        ASSERT_GT(lens[s], 0) << "used symbol " << s << " got no code";
      }
      if (lens[s]) {
        kraft += std::uint64_t{1} << (32 - lens[s]);
        ++used;
      }
    }
    if (used) {
      EXPECT_EQ(kraft, std::uint64_t{1} << 32) << "code must be complete";
    }
  }
}

// --- SHA-1 ---

TEST(Sha1, KnownDigests) {
  auto hex = [](const TSha1Digest& d) {
    std::string s;
    char buf[3];
    for (auto x : d) {
      std::snprintf(buf, sizeof buf, "%02x", x);
      s += buf;
    }
    return s;
  };
  // The plain C++ rounds and, where the processor has them, its SHA instructions.
  for (const bool portable : {true, false}) {
    SCOPED_TRACE(portable ? "portable" : "default");
    auto of = [portable](const std::string& s) {
      TSha1 h(portable);
      h.Update(std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()));
      return h.Finish();
    };
    EXPECT_EQ(hex(of("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(hex(of("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    // 56 bytes: the length field no longer fits the first block.
    EXPECT_EQ(hex(of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    // Fed in uneven pieces across block boundaries, then reused for a second message.
    TSha1 h(portable);
    const std::string million(1000000, 'a');
    for (std::size_t at = 0; at < million.size();) {
      const std::size_t take = std::min<std::size_t>(at % 97 + 1, million.size() - at);
      h.Update(std::span(reinterpret_cast<const std::uint8_t*>(million.data() + at), take));
      at += take;
    }
    EXPECT_EQ(hex(h.Finish()), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    h.Update(std::span(reinterpret_cast<const std::uint8_t*>(million.data()), 3));
    EXPECT_EQ(hex(h.Finish()), "7e240de74fb1ed08fa08d38063f6a6a91462a815");
  }
}

}  // namespace
}  // namespace imaging
