#include "imaging/lzx_compressor.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "base/little_endian.h"
#include "imaging/huffman.h"

namespace imaging {

namespace {

// --- Format constants ---

constexpr unsigned kNumChars = 256;
constexpr unsigned kNumOffsetSlots = 30;  // enough for a 32 KiB window
constexpr unsigned kNumLenHeaders = 8;    // low 3 bits of a match's main symbol
constexpr unsigned kLenHeaderEscape = 7;  // header 7: the length continues in the length tree
constexpr unsigned kNumMainSyms = kNumChars + kNumOffsetSlots * kNumLenHeaders;  // 496
constexpr unsigned kNumLenSyms = 249;                                            // lengths 9..257
constexpr unsigned kNumAlignedSyms = 8;
constexpr unsigned kNumPretreeSyms = 20;
constexpr unsigned kMinMatch = 2;
constexpr unsigned kMaxMatch = 257;
constexpr unsigned kNumReps = 3;
// Slots 0..2 name the recent offsets, so an explicit offset travels as offset + 2.
constexpr unsigned kOffsetAdjust = 2;
// The top of slot 29 is 24576 + 8191 = 32767 formatted, i.e. 32765 real: the window is
// 32768 bytes but the last two offsets cannot be written.
constexpr unsigned kMaxOffset = 32765;
constexpr unsigned kBlockVerbatim = 1;
constexpr unsigned kBlockAligned = 2;
constexpr unsigned kBlockTypeBits = 3;
constexpr unsigned kBlockSizeBits = 16;  // after a 0 flag bit; a 1 flag bit means 32768
constexpr unsigned kAlignedLenBits = 3;
constexpr unsigned kPretreeLenBits = 4;
// The aligned tree carries the low 3 bits of offsets whose slot has at least 3 extra bits.
constexpr unsigned kAlignedBits = 3;
// Code-length limits: the format allows 16 for the main and length trees; the length tree and
// the pretree are held shorter, as wimlib's encoder does, to stay inside what every decoder has
// been fed. The aligned tree's 3-bit length fields cap it at 7.
constexpr unsigned kMainMaxCodeLen = 16;
constexpr unsigned kLenMaxCodeLen = 12;
constexpr unsigned kAlignedMaxCodeLen = 7;
constexpr unsigned kPretreeMaxCodeLen = 7;
// The WIM flavour of LZX translates E8 operands as if every chunk were part of a 12 MB file.
constexpr std::int32_t kE8TranslationSize = 12000000;
// Last 10 bytes of a chunk are never translated (an operand there could overrun it).
constexpr std::size_t kE8TailGuard = 10;

// Pretree symbols for runs of code lengths.
constexpr unsigned kPreZeros4 = 17;   // 4 + 4-bit count zeros
constexpr unsigned kPreZeros20 = 18;  // 20 + 5-bit count zeros
constexpr unsigned kPreSame4 = 19;    // 4 + 1-bit count copies of the next symbol's value
constexpr unsigned kLenModulus = 17;  // lengths are sent as (previous - new) mod 17

constexpr std::array<std::uint32_t, kNumOffsetSlots> kSlotBase = {
    0,   1,   2,   3,   4,    6,    8,    12,   16,   24,   32,    48,    64,    96,    128,
    192, 256, 384, 512, 768, 1024, 1536, 2048, 3072, 4096, 6144, 8192, 12288, 16384, 24576};

constexpr unsigned ExtraBitsOfSlot(unsigned slot) { return slot < 4 ? 0 : slot / 2 - 1; }

constexpr unsigned ComputeSlot(std::uint32_t formatted) {
  if (formatted < 4) return formatted;
  const unsigned log = unsigned(std::bit_width(formatted)) - 1;
  return 2 * log + ((formatted >> (log - 1)) & 1);
}

// Formatted offsets stop at 32767 in a 32 KiB window, so a table covers them all.
constexpr std::size_t kNumFormattedOffsets = 32768;
const std::array<std::uint8_t, kNumFormattedOffsets> kSlotTable = [] {
  std::array<std::uint8_t, kNumFormattedOffsets> t{};
  for (std::uint32_t f = 0; f < kNumFormattedOffsets; ++f) t[f] = std::uint8_t(ComputeSlot(f));
  return t;
}();

unsigned SlotOfFormatted(std::uint32_t formatted) { return kSlotTable[formatted]; }

// --- Costs ---
// Costs are in 1/16 bit so the first pass can work with fractional estimates.
constexpr unsigned kCostShift = 4;
constexpr std::uint32_t kBit = 1u << kCostShift;
constexpr std::uint32_t kInfiniteCost = std::numeric_limits<std::uint32_t>::max();
// A chunk whose passes leave it above 75% of its size gets a pass with 2-byte matches only up
// to offset 32 (see CompressChunk). Over the bench corpus: 0.067% smaller (painting 0.19%, a
// meadow photo 0.48%) for 3% more time; from 60% on, 0.082% for 10%; a reach of 64 or 16
// gained less.
constexpr unsigned kLiteralHeavyPerMille = 750;
constexpr unsigned kLiteralHeavyPairReach = 32;
// After this many literal-heavy chunks in a row where that pass did not win, it is tried only on
// every kHeavySparingPeriod-th one (see CompressChunk).
constexpr unsigned kHeavyLossesBeforeSparing = 3;
constexpr unsigned kHeavySparingPeriod = 4;
// A chunk still above 80% of its size after a first pass that started from the previous chunk's
// codes gets no second. Anywhere between 75% and 90%, a second pass gains such a chunk 15 to 25
// bytes of its 25,000 or more, for a third of its time. At 90%, the painting took 14% less time
// for 112 bytes more; down to 80%, the detailed photographs took a tenth to a quarter less time
// (the painting another 7%) for 0.014% more over the bench corpus.
constexpr unsigned kNearlyRawPerMille = 800;
// A chunk after one that compressed to below 20% of its size searches half as deep again. Such
// chunks are long runs of nearly equal pixels (fog, a plain background), where the tree's walks
// are long and the nearest strings are seldom the longest matches: a photograph of a foggy pier
// came out 0.57% smaller, from 0.4% above LZX:100 to 0.18% below it, for 5% more instructions,
// and the plot 0.25% smaller for 8% more; in other pictures the walks end before the old limit.
constexpr unsigned kSmoothPerMille = 200;
constexpr unsigned kSmoothDepthPercent = 150;
// The guess a file's first chunk starts from (see InitialCosts).
constexpr unsigned kInitialMatchSymbolBits = 7;
constexpr unsigned kInitialLengthSymbolBits = 6;
constexpr unsigned kInitialAlignedSymbolBits = 3;  // a flat aligned tree
constexpr double kMaxInitialLiteralBits = 15.0;    // a pretree-free code stays within 16
constexpr double kUnseenLiteralBits = 12.0;
// Symbols a code leaves out are priced this much above its longest code.
constexpr unsigned kUnusedSymbolExtraBits = 2;

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
  // Derived: cost of main symbol plus length symbol for slot and length.
  std::array<std::array<std::uint32_t, kMaxMatch + 1>, kNumOffsetSlots> match{};

  void Derive() {
    for (unsigned slot = 0; slot < kNumOffsetSlots; ++slot) {
      for (unsigned l = kMinMatch; l <= kMaxMatch; ++l) {
        const unsigned header = std::min(l - kMinMatch, kLenHeaderEscape);
        std::uint32_t c = main[kNumChars + slot * kNumLenHeaders + header];
        if (header == kLenHeaderEscape) c += len[l - kMinMatch - kLenHeaderEscape];
        match[slot][l] = c;
      }
    }
  }

  std::uint32_t OffsetCost(std::uint32_t formatted, unsigned slot) const {
    const unsigned bits = ExtraBitsOfSlot(slot);
    if (aligned_block && bits >= kAlignedBits)
      return (bits - kAlignedBits) * kBit + aligned[formatted & (kNumAlignedSyms - 1)];
    return bits * kBit;
  }
};

// Symbols a code left out still need a price: a little dearer than the dearest used one.
template <std::size_t N>
void CostsFromLens(const std::array<std::uint8_t, N>& lens, unsigned max_len,
                   std::array<std::uint32_t, N>& costs) {
  unsigned longest = 0;
  for (auto l : lens) longest = std::max<unsigned>(longest, l);
  const unsigned unused = std::min(max_len, longest + kUnusedSymbolExtraBits);
  for (std::size_t s = 0; s < N; ++s) costs[s] = (lens[s] ? lens[s] : unused) * kBit;
}

// log2(v) in 1/16 bit for v >= 1, exact to a sixteenth at every power of two and within one
// sixteenth between them: integer arithmetic, so that every build prices alike.
unsigned Log2Sixteenths(std::uint32_t v) {
  // round(16 * log2(1 + k / 16)) for the four bits after the leading one.
  static constexpr std::uint8_t kFraction[16] = {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 15};
  const unsigned top = unsigned(std::bit_width(v)) - 1;
  const unsigned next4 = top >= 4 ? (v >> (top - 4)) & 15 : (v << (4 - top)) & 15;
  return top * kBit + kFraction[next4];
}

// A used main-tree symbol is priced halfway between its code length and what its frequency
// says it is worth (-log2 of its share). Code lengths are whole bits, and a symbol a bit short
// or long of its share keeps that length over a range of frequencies, so the parse priced by
// lengths alone settles where the length says rather than where the share would; halfway, the
// bench corpus came out 0.03% smaller (photographs) to 0.06% (the harder pictures). In a
// literal-heavy chunk it cost bytes instead (a photograph of blinds 0.29% larger), so those
// keep plain lengths.
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

// --- Bit output ---
// 16-bit little-endian words, each filled from its most significant bit, into a buffer whose
// size was counted beforehand. Should the count ever be short, the writer stops at the end of
// the buffer and says so rather than run past it.
class TBitWriter {
 public:
  explicit TBitWriter(std::span<std::uint8_t> out) : next_(out.data()), end_(out.data() + out.size()) {}

  void Put(std::uint32_t bits, unsigned count) {
    acc_ = (acc_ << count) | bits;
    pending_ += count;
    while (pending_ >= 16) {
      pending_ -= 16;
      const auto word = std::uint16_t(acc_ >> pending_);
      if (end_ - next_ < 2) {
        overrun_ = true;
        continue;
      }
      *next_++ = std::uint8_t(word);
      *next_++ = std::uint8_t(word >> 8);
    }
  }

  // True when every bit fitted and the buffer is exactly full.
  bool Finish() {
    if (pending_ != 0) Put(0, 16 - pending_);
    return !overrun_ && next_ == end_;
  }

 private:
  std::uint8_t* next_;
  std::uint8_t* const end_;
  std::uint64_t acc_ = 0;
  unsigned pending_ = 0;
  bool overrun_ = false;
};

// --- Code-length transmission ---

struct TPretreeToken {
  std::uint8_t sym;
  std::uint8_t extra_bits;
  std::uint8_t extra;
  std::uint8_t value_sym;  // for a run of equal lengths: the delta symbol that follows
};

// Sends `count` code lengths as differences from `prev`, through a pretree of their own, and
// returns the bits that takes. Without a writer it only counts them, to size a block unwritten.
std::uint64_t WriteCodeLens(TBitWriter* w, const std::uint8_t* prev, const std::uint8_t* cur, unsigned count) {
  TPretreeToken tokens[kNumMainSyms];
  unsigned num_tokens = 0;
  std::array<std::uint32_t, kNumPretreeSyms> freqs{};
  auto delta_sym = [&](unsigned i) {
    return std::uint8_t((prev[i] + kLenModulus - cur[i]) % kLenModulus);
  };
  auto emit = [&](TPretreeToken t) {
    ++freqs[t.sym];
    if (t.sym == kPreSame4) ++freqs[t.value_sym];
    tokens[num_tokens++] = t;
  };

  for (unsigned i = 0; i < count;) {
    unsigned run = 1;
    while (i + run < count && cur[i + run] == cur[i]) ++run;
    if (cur[i] == 0 && run >= 4) {
      while (run >= 20) {
        const unsigned r = std::min(run, 51u);
        emit({kPreZeros20, 5, std::uint8_t(r - 20), 0});
        i += r;
        run -= r;
      }
      if (run >= 4) {
        emit({kPreZeros4, 4, std::uint8_t(run - 4), 0});
        i += run;
      }
      continue;
    }
    if (run >= 4) {
      // Runs of 4 or 5; 8 splits better as 4+4 than as 5 and three singles.
      const unsigned r = run == 8 ? 4 : std::min(run, 5u);
      emit({kPreSame4, 1, std::uint8_t(r - 4), delta_sym(i)});
      i += r;
      continue;
    }
    emit({delta_sym(i), 0, 0, 0});
    ++i;
  }

  std::array<std::uint8_t, kNumPretreeSyms> lens{};
  BuildCodeLengths(freqs, kPretreeMaxCodeLen, lens);
  std::uint64_t bits = kNumPretreeSyms * kPretreeLenBits;
  for (unsigned s = 0; s < kNumPretreeSyms; ++s) bits += std::uint64_t{freqs[s]} * lens[s];
  for (unsigned t = 0; t < num_tokens; ++t) bits += tokens[t].extra_bits;
  if (!w) return bits;

  std::array<std::uint16_t, kNumPretreeSyms> codes{};
  BuildCanonicalCodes(lens, codes);
  for (unsigned s = 0; s < kNumPretreeSyms; ++s) w->Put(lens[s], kPretreeLenBits);
  for (unsigned t = 0; t < num_tokens; ++t) {
    const TPretreeToken& tok = tokens[t];
    w->Put(codes[tok.sym], lens[tok.sym]);
    if (tok.extra_bits) w->Put(tok.extra, tok.extra_bits);
    if (tok.sym == kPreSame4) w->Put(codes[tok.value_sym], lens[tok.value_sym]);
  }
  return bits;
}

// --- Parse items ---
// len 1 is a literal; otherwise `code` is 0..2 for a recent offset or offset + 2.
struct TItem {
  std::uint16_t len;
  std::uint16_t code;
};

struct TMatch {
  std::uint16_t len;
  std::uint16_t offset;
};

// The cheapest way found to reach a position: its cost and the step that ends there, packed
// so that offering a step is one 8-byte store. A gap step (a match, one literal and an R0
// match) keeps the length of its first match aside (TState::gap_len).
struct TNode {
  std::uint32_t cost;
  std::uint32_t step;  // length | code << kStepCodeShift | kStepGap
};
constexpr unsigned kStepCodeShift = 10;  // a gap step is up to 257 + 1 + 257 bytes long
constexpr std::uint32_t kStepLenMask = (1u << kStepCodeShift) - 1;
constexpr std::uint32_t kStepCodeMask = 0x7FFF;  // formatted offsets stop at 32767
constexpr std::uint32_t kStepGap = 1u << 31;
constexpr std::uint32_t kLiteralStep = 1;  // length 1, no code

using TRecentOffsets = std::array<std::uint16_t, kNumReps>;
// The queue a position's cheapest path leaves is worked out when the parse reaches it, from the
// queue where its step began. Steps are at most 515 bytes long, so the last 1,024 queues do.
constexpr unsigned kQueueRing = 1024;

// Length of the common prefix of a and b, from `start` up to `limit`. Both may be read up to
// 8 bytes past `limit`; the chunk buffer carries that much padding.
unsigned CommonPrefix(const std::uint8_t* a, const std::uint8_t* b, unsigned start, unsigned limit) {
  unsigned len = start;
  while (len < limit) {
    const std::uint64_t x = marivane::LoadU64(a + len) ^ marivane::LoadU64(b + len);
    if (x != 0) {
      len += unsigned(std::countr_zero(x)) / 8;
      return std::min(len, limit);
    }
    len += 8;
  }
  return limit;
}

// --- Match finder constants ---
constexpr unsigned kHash3Bits = 15;
constexpr std::uint32_t kHashMultiplier = 0x1E35A7BDu;
constexpr std::size_t kBufferPadding = 16;  // CommonPrefix reads whole words past the end
// Positions within a chunk fit in 16 bits with one value to spare for "none".
using TPos = std::uint16_t;
constexpr TPos kNoPos = 0xFFFF;
static_assert(kLzxChunkSize <= kNoPos);
// Positions inside a long match are only put into the tree. There a node that agrees with the
// new one for this many bytes is replaced rather than walked past: screenshots and the plot
// took a sixth less time, and the bench corpus came out 114 bytes smaller, not larger. 48
// rather than 64 took the plot another 9% and gui screenshots 6%, with the corpus 18 bytes
// smaller; at 32 the text screenshot grew by 48 bytes.
constexpr unsigned kInsertOnlyStopLen = 48;
// An R0 match that only goes on with the one offered at the position before (same offset, one
// byte shorter, or as long where both reach the longest length) had its middle lengths offered
// from there at nearly the same price: of those only its shortest few and its full length are
// offered again. Long runs at one offset made the offers grow with the square of the run.
// Screenshots and the plot took 6% less time, and the bench corpus came out 58 bytes smaller;
// counting the runs of 257 and more too (a plain background repeated row after row) took a
// fifth off the plot's time for 26 bytes.
constexpr unsigned kContinuedMatchLengths = 4;
// Matches the cache starts with room for: four a position, which photographs stay below.
constexpr std::size_t kInitialMatchCache = 4 * kLzxChunkSize;

// The first three bytes at p, hashed to `bits` bits.
std::uint32_t Hash3(const std::uint8_t* p, unsigned bits = kHash3Bits) {
  const std::uint32_t v = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16;
  return (v * kHashMultiplier) >> (32 - bits);
}

}  // namespace

void LzxTranslateE8(std::span<std::uint8_t> chunk) {
  const std::size_t n = chunk.size();
  if (n <= kE8TailGuard) return;
  const std::size_t limit = n - kE8TailGuard;
  for (std::size_t i = 0; i < limit;) {
    const void* hit = std::memchr(&chunk[i], 0xE8, limit - i);
    if (!hit) break;
    i = std::size_t(static_cast<const std::uint8_t*>(hit) - chunk.data());
    std::int32_t v;
    std::memcpy(&v, &chunk[i + 1], 4);
    const auto pos = std::int32_t(i);
    if (v >= -pos && v < kE8TranslationSize) {
      // The operand becomes absolute (v + i), except where that would reach the translation
      // size: then it wraps to v - size, which falls in [-i, 0) where the decoder adds it back.
      const std::int32_t t = v < kE8TranslationSize - pos ? v + pos : v - kE8TranslationSize;
      std::memcpy(&chunk[i + 1], &t, 4);
    }
    i += 5;
  }
}

// --- Compressor state ---

struct TLzxCompressor::TState {
  TLzxTuning tuning;
  std::vector<std::uint8_t> buf = std::vector<std::uint8_t>(kLzxChunkSize + kBufferPadding);
  // 16-bit positions keep the tables (320 KiB) within a core's second-level cache; clearing
  // the hash heads for every chunk costs less than the misses of wider ones.
  std::vector<TPos> head3 = std::vector<TPos>(std::size_t{1} << kHash3Bits);
  std::vector<TPos> head2 = std::vector<TPos>(std::size_t{1} << 16);
  std::vector<TPos> child = std::vector<TPos>(2 * kLzxChunkSize);
  // Matches found at each position. A position yields at most one 2-byte match, one per tree
  // node visited and one offset tried again; the cache grows before a position could pass its
  // end. Most chunks need a small part of what the worst could (4 MiB), and untouched memory is
  // not paid for.
  std::vector<TMatch> cache = std::vector<TMatch>(kInitialMatchCache);
  std::size_t cache_len = 0;
  std::vector<std::uint32_t> cache_start = std::vector<std::uint32_t>(kLzxChunkSize + 1);
  std::vector<std::uint8_t> skipped = std::vector<std::uint8_t>(kLzxChunkSize);
  std::vector<TNode> nodes = std::vector<TNode>(kLzxChunkSize + 1);
  std::vector<std::uint16_t> gap_len = std::vector<std::uint16_t>(kLzxChunkSize + 1);
  std::vector<TItem> items;
  std::vector<TItem> best_items;  // the smallest pass's, while a later one is tried
  TCostModel costs;
  bool have_model = false;  // costs hold the previous chunk's codes
  unsigned last_per_mille = 1000;  // the previous chunk's size after compression, per mille
  unsigned search_depth = 0;       // this chunk's (see kSmoothPerMille)
  unsigned heavy_losses = 0;  // literal-heavy chunks in a row where the extra pass did not win

  template <bool kRecord>
  unsigned InsertAndFind(unsigned pos, unsigned max_len, unsigned best_len);
  void FindAllMatches(unsigned n);
  void Parse(unsigned n, unsigned pair_reach);
  void InitialCosts(unsigned n);
  void Tally(TFreqs& f) const;
  static void MakeCodes(const TFreqs& f, TCodes& codes);
  void CostsFromCodes(const TCodes& codes, bool aligned, const TFreqs* blend = nullptr);
  static bool AlignedPays(const TFreqs& f, const TCodes& codes);
  static std::size_t BlockBytes(const TFreqs& f, const TCodes& codes, bool aligned, unsigned n);
  void WriteBlock(TBitWriter& w, const std::vector<TItem>& block, const TCodes& codes, bool aligned, unsigned n,
                  std::array<std::uint8_t, kNumMainSyms>& prev_main,
                  std::array<std::uint8_t, kNumLenSyms>& prev_len) const;
};

// --- Binary-tree match finder ---
// Every position of the chunk is inserted into a binary search tree of the suffixes with the
// same 3-byte hash; walking down from the newest finds progressively longer matches. With
// kRecord, each match longer than best_len is added to the cache and the longest length is
// returned; without, the position is only placed in the tree (it lies inside a long match).

template <bool kRecord>
unsigned TLzxCompressor::TState::InsertAndFind(unsigned pos, unsigned max_len, unsigned best_len) {
  const std::uint8_t* s = buf.data() + pos;
  const std::uint32_t h = Hash3(s);
  unsigned cur = head3[h];
  head3[h] = TPos(pos);
  TPos* pending_lt = &child[2 * pos];
  TPos* pending_gt = &child[2 * pos + 1];
  unsigned lt_len = 0, gt_len = 0;
  const unsigned stop_len = std::min(kRecord ? tuning.nice_match_len : kInsertOnlyStopLen, max_len);
  // A match to report is measured to its end; one that only places the node, to where it stops
  // the walk. Measured to the end, those cost the screenshots and the plot a tenth of their time.
  const unsigned compare_len = kRecord ? max_len : stop_len;
  unsigned depth = search_depth;

  for (;;) {
    if (cur == kNoPos || pos - cur > kMaxOffset || depth-- == 0) {
      *pending_lt = kNoPos;
      *pending_gt = kNoPos;
      return best_len;
    }
    const std::uint8_t* m = buf.data() + cur;
    // Every node between the last smaller and the last larger one agrees with the new string
    // as far as both of them do, but only within the bytes by which the tree is ordered: a
    // node replaced by one that only agrees with it for kInsertOnlyStopLen bytes leaves its
    // subtrees ordered by no more than those.
    unsigned len = std::min({lt_len, gt_len, kInsertOnlyStopLen});
    if (m[len] == s[len]) {
      len = CommonPrefix(m, s, len + 1, compare_len);
      if (kRecord && len > best_len) {
        best_len = len;
        cache[cache_len++] = {std::uint16_t(len), std::uint16_t(pos - unsigned(cur))};
      }
      if (len >= stop_len) {
        // Replace the old node by the new one; its subtrees become ours.
        *pending_lt = child[2 * cur];
        *pending_gt = child[2 * cur + 1];
        return best_len;
      }
    }
    if (m[len] < s[len]) {
      *pending_lt = TPos(cur);
      pending_lt = &child[2 * cur + 1];
      cur = *pending_lt;
      lt_len = len;
    } else {
      *pending_gt = TPos(cur);
      pending_gt = &child[2 * cur];
      cur = *pending_gt;
      gt_len = len;
    }
  }
}

void TLzxCompressor::TState::FindAllMatches(unsigned n) {
  std::fill(head3.begin(), head3.end(), kNoPos);
  std::fill(head2.begin(), head2.end(), kNoPos);
  cache_len = 0;
  const std::uint8_t* in = buf.data();

  unsigned follow_off = 0;  // after a long match: its offset (see below)
  for (unsigned pos = 0; pos < n;) {
    cache_start[pos] = std::uint32_t(cache_len);
    const std::size_t room = search_depth + 2;
    if (cache.size() - cache_len < room) cache.resize(std::max(2 * cache.size(), cache_len + room));
    skipped[pos] = 0;
    const unsigned max_len = std::min(kMaxMatch, n - pos);
    if (max_len < kMinMatch) {
      ++pos;
      continue;
    }
    // The nearest earlier pair of equal bytes, kept only when it is not also a 3-byte match
    // (the tree reports those).
    const unsigned h2 = in[pos] | unsigned(in[pos + 1]) << 8;
    const unsigned cand = head2[h2];
    head2[h2] = TPos(pos);
    unsigned best = 1;
    if (cand != kNoPos && pos - unsigned(cand) <= kMaxOffset &&
        (max_len < 3 || in[cand + 2] != in[pos + 2])) {
      cache[cache_len++] = {2, std::uint16_t(pos - unsigned(cand))};
      best = 2;
    }
    if (max_len < 3) {
      ++pos;
      continue;
    }
    best = InsertAndFind<true>(pos, max_len, best);
    // Where many earlier strings agree for a while (a plain background, row after row), the walk
    // can end before it reaches the one that goes on longest, though the long match that was
    // just skipped over found it: that offset is tried again. Where it runs to the longest
    // length, the positions it covers are skipped as after any long match (the plot came out 1%
    // smaller; taken at any length, or as any other long match, it cost text screenshots
    // bytes). After a position that was searched, the offset is not worth trying: the match
    // there was measured to its end, shorter than nice_match_len, so here it is a byte shorter.
    if (best < tuning.nice_match_len && follow_off != 0) {
      const unsigned len = CommonPrefix(in + pos, in + pos - follow_off, 0, max_len);
      if (len == kMaxMatch) {
        cache[cache_len++] = {std::uint16_t(len), std::uint16_t(follow_off)};
        best = len;
      }
    }
    if (best < tuning.nice_match_len) {
      follow_off = 0;
      ++pos;
      continue;
    }
    follow_off = cache[cache_len - 1].offset;
    // A long match: the positions it covers get no matches of their own, only tree updates.
    for (unsigned k = 1; k < best; ++k) {
      const unsigned p = pos + k;
      cache_start[p] = std::uint32_t(cache_len);
      skipped[p] = 1;
      const unsigned rest = n - p;
      if (rest >= 2) head2[in[p] | unsigned(in[p + 1]) << 8] = TPos(p);
      if (rest >= 3) InsertAndFind<false>(p, std::min(kMaxMatch, rest), 0);
    }
    pos += best;
  }
  cache_start[n] = std::uint32_t(cache_len);
}

// --- Near-optimal parse ---
// Forward dynamic programming over positions. Each node keeps the cheapest way found to reach
// it together with the recent-offset queue that way leaves behind, so repeat matches are priced
// against the queue they would really see. Explicit-offset 2-byte matches farther back than
// `pair_reach` are not offered.

void TLzxCompressor::TState::Parse(unsigned n, unsigned pair_reach) {
  // Local copies of the member pointers: writes to the nodes could otherwise alias them in
  // the compiler's eyes and force a reload on every relaxation.
  const std::uint8_t* in = buf.data();
  TNode* const node = nodes.data();
  std::uint16_t* const gaps = gap_len.data();
  const std::uint32_t* const main_cost = costs.main.data();
  const TMatch* const matches = cache.data();
  const std::uint32_t* const match_start = cache_start.data();
  const std::uint8_t* const skip = skipped.data();
  const TCostModel& model = costs;
  // All-ones bytes make every cost kInfiniteCost in one sweep.
  static_assert(kInfiniteCost == 0xFFFFFFFFu);
  std::memset(node, 0xFF, sizeof(TNode) * (n + 1));
  node[0].cost = 0;
  std::array<TRecentOffsets, kQueueRing> queues;
  queues[0] = {1, 1, 1};

  auto relax = [node](unsigned to, std::uint32_t cost, std::uint32_t step) {
    if (cost < node[to].cost) node[to] = {cost, step};
  };
  // Lengths first..last of one match, the cost of length l being base + mc[l]. Without branches:
  // whether a length wins is hard to foresee, and long matches offer many.
  auto relax_lengths = [node](unsigned i, unsigned first, unsigned last, std::uint32_t base,
                              const std::uint32_t* mc, std::uint32_t code) {
    TNode* const d = node + i;
    for (unsigned l = first; l <= last; ++l) {
      const std::uint32_t c = base + mc[l];
      const std::uint32_t old_cost = d[l].cost, old_step = d[l].step;
      const bool better = c < old_cost;
      d[l].cost = better ? c : old_cost;
      d[l].step = better ? (l | code) : old_step;
    }
  };
  // A match that stops at one differing byte often goes on at the same offset after it (a
  // pixel with one channel changed). The cheapest path to the byte after the literal need not
  // come through this match, so its queue would be lost: price the three steps as one. Tried
  // after every match at its full length; after only the longest explicit one it gave back a
  // quarter of the gain for 3% less time.
  auto try_gap = [&](unsigned i, unsigned len, std::uint32_t cost, unsigned code, unsigned off) {
    const unsigned after = i + len + 1;
    if (after + kMinMatch > n) return;
    const std::uint8_t* const p = in + after;
    if (marivane::LoadU16(p) != marivane::LoadU16(p - off)) return;
    const unsigned len2 = CommonPrefix(p, p - off, kMinMatch, std::min(kMaxMatch, n - after));
    const unsigned to = after + len2;
    cost += main_cost[in[i + len]] + model.match[0][len2];
    if (cost < node[to].cost) {
      node[to] = {cost, (len + 1 + len2) | code << kStepCodeShift | kStepGap};
      gaps[to] = std::uint16_t(len);
    }
  };

  // The R0 match offered at the position before, if any (see kContinuedMatchLengths).
  unsigned r0_off = 0, r0_len = 0;
  for (unsigned i = 0; i < n; ++i) {
    const TNode cur = node[i];
    const unsigned prev_r0_off = r0_off, prev_r0_len = r0_len;
    r0_len = 0;
    TRecentOffsets& reps = queues[i % kQueueRing];
    if (i > 0) {
      // The cheapest path to here is final: so is the queue it leaves.
      const unsigned len = cur.step & kStepLenMask;
      reps = queues[(i - len) % kQueueRing];
      if (len > 1) {
        const unsigned code = (cur.step >> kStepCodeShift) & kStepCodeMask;
        if (code < kNumReps)
          std::swap(reps[0], reps[code]);
        else
          reps = {std::uint16_t(code - kOffsetAdjust), reps[0], reps[1]};
      }
    }
    relax(i + 1, cur.cost + main_cost[in[i]], kLiteralStep);
    if (skip[i]) continue;
    const unsigned max_len = std::min(kMaxMatch, n - i);
    if (max_len < kMinMatch) continue;
    const std::uint8_t* const here = in + i;

    // Each length is offered once, by the cheapest kind of match that reaches it: R0, then R1,
    // then R2, then explicit offsets from the nearest. A farther offset for a length a nearer
    // one already covers rarely codes cheaper; skipping it saved 8% of the time on the bench
    // corpus for 0.007% in size (screenshots gained, photographs lost a little).
    unsigned prev_len = kMinMatch - 1;
    std::uint32_t m = match_start[i];
    const std::uint32_t end = match_start[i + 1];
    // The finder saw no earlier pair of these two bytes in reach, so no recent offset matches.
    if (m == end) continue;
    // Most recent offsets fail on the first two bytes; one 16-bit compare settles those.
    const std::uint16_t head = marivane::LoadU16(here);
    for (unsigned k = 0; k < kNumReps; ++k) {
      const unsigned off = reps[k];
      if (off > i || marivane::LoadU16(here - off) != head) continue;
      if ((k >= 1 && off == reps[0]) || (k == 2 && off == reps[1])) continue;
      // An R0 match at the offset of the one offered at the position before goes on from it, so
      // it is at least as long as that one less a byte: one byte shorter, or as long where both
      // reach the longest length.
      const bool continued = k == 0 && prev_r0_len != 0 && off == prev_r0_off;
      const unsigned known = continued ? std::max(prev_r0_len - 1, kMinMatch) : kMinMatch;
      const unsigned len = CommonPrefix(here, here - off, known, max_len);
      if (len <= prev_len) continue;
      const auto& mc = model.match[k];
      const std::uint32_t code = k << kStepCodeShift;
      if (k == 0) {
        r0_off = off;
        r0_len = len;
        if (continued && len - prev_len > kContinuedMatchLengths) {
          relax_lengths(i, prev_len + 1, prev_len + kContinuedMatchLengths, cur.cost, mc.data(), code);
          relax(i + len, cur.cost + mc[len], len | code);
          try_gap(i, len, cur.cost + mc[len], k, off);
          prev_len = len;
          continue;
        }
      }
      relax_lengths(i, prev_len + 1, len, cur.cost, mc.data(), code);
      try_gap(i, len, cur.cost + mc[len], k, off);
      prev_len = len;
    }

    for (; m < end; ++m) {
      const TMatch match = matches[m];
      const unsigned off = match.offset;
      if (match.len <= prev_len || (match.len == kMinMatch && off > pair_reach)) continue;
      if (off == reps[0] || off == reps[1] || off == reps[2]) {
        prev_len = match.len;
        continue;
      }
      const std::uint32_t formatted = off + kOffsetAdjust;
      const unsigned slot = SlotOfFormatted(formatted);
      const std::uint32_t base = cur.cost + model.OffsetCost(formatted, slot);
      const auto& mc = model.match[slot];
      const std::uint32_t code = formatted << kStepCodeShift;
      relax_lengths(i, prev_len + 1, match.len, base, mc.data(), code);
      prev_len = match.len;
      try_gap(i, match.len, base + mc[match.len], formatted, off);
    }
  }

  // The path is walked from the end, so the items are laid down from the back of the array.
  items.resize(n);
  TItem* out = items.data() + n;
  for (unsigned pos = n; pos > 0;) {
    const std::uint32_t step = node[pos].step;
    if (step == kLiteralStep) {
      // Apart from being the commonest step, a literal is known to lead one byte back before
      // its node is read: the walk goes on without waiting for that load.
      *--out = {1, 0};
      --pos;
      continue;
    }
    const auto len = std::uint16_t(step & kStepLenMask);
    const auto code = std::uint16_t((step >> kStepCodeShift) & kStepCodeMask);
    if (step & kStepGap) {
      // From the back: the R0 match, the literal, then the match before the gap.
      const std::uint16_t gap = gaps[pos];
      *--out = {std::uint16_t(len - gap - 1), 0};
      *--out = {1, 0};
      *--out = {gap, code};
    } else {
      *--out = {len, code};
    }
    pos -= len;
  }
  items.erase(items.begin(), items.begin() + (out - items.data()));
}

// Before a chunk has codes of its own: literals priced by their frequency in the chunk,
// everything else by a flat guess. Later chunks start from their predecessor's codes.
void TLzxCompressor::TState::InitialCosts(unsigned n) {
  std::array<std::uint32_t, kNumChars> hist{};
  for (unsigned i = 0; i < n; ++i) ++hist[buf[i]];
  for (unsigned c = 0; c < kNumChars; ++c) {
    const double bits = hist[c] ? std::log2(double(n) / hist[c]) : kUnseenLiteralBits;
    costs.main[c] = std::uint32_t(std::clamp(bits, 1.0, kMaxInitialLiteralBits) * kBit);
  }
  // Match symbols start out cheap. The passes of later chunks inherit whatever this first
  // guess leads to, and a pessimistic start was seen to settle on fewer matches for a whole
  // file (7 bits beat 9 by 0.13% on the photo corpus).
  for (unsigned s = kNumChars; s < kNumMainSyms; ++s) costs.main[s] = kInitialMatchSymbolBits * kBit;
  for (auto& c : costs.len) c = kInitialLengthSymbolBits * kBit;
  for (auto& c : costs.aligned) c = kInitialAlignedSymbolBits * kBit;
  costs.aligned_block = false;
  costs.Derive();
}

void TLzxCompressor::TState::Tally(TFreqs& f) const {
  f = TFreqs{};
  unsigned pos = 0;
  for (const TItem& it : items) {
    if (it.len == 1) {
      ++f.main[buf[pos]];
    } else {
      const unsigned slot = it.code < kNumReps ? it.code : SlotOfFormatted(it.code);
      const unsigned header = std::min(unsigned(it.len) - kMinMatch, kLenHeaderEscape);
      ++f.main[kNumChars + slot * kNumLenHeaders + header];
      if (header == kLenHeaderEscape) ++f.len[it.len - kMinMatch - kLenHeaderEscape];
      if (ExtraBitsOfSlot(slot) >= kAlignedBits) ++f.aligned[it.code & (kNumAlignedSyms - 1)];
    }
    pos += it.len;
  }
}

// The aligned code is always built: whether the block uses it is decided from its lengths.
void TLzxCompressor::TState::MakeCodes(const TFreqs& f, TCodes& codes) {
  BuildCodeLengths(f.main, kMainMaxCodeLen, codes.main_lens);
  BuildCanonicalCodes(codes.main_lens, codes.main_codes);
  BuildCodeLengths(f.len, kLenMaxCodeLen, codes.len_lens);
  BuildCanonicalCodes(codes.len_lens, codes.len_codes);
  BuildCodeLengths(f.aligned, kAlignedMaxCodeLen, codes.aligned_lens);
  BuildCanonicalCodes(codes.aligned_lens, codes.aligned_codes);
}

// With `blend`, the frequencies the codes were built from, their shares are blended into the
// main tree's prices (see BlendWithShares).
void TLzxCompressor::TState::CostsFromCodes(const TCodes& codes, bool aligned, const TFreqs* blend) {
  CostsFromLens(codes.main_lens, kMainMaxCodeLen, costs.main);
  if (blend) BlendWithShares(blend->main, kMainMaxCodeLen, costs.main);
  CostsFromLens(codes.len_lens, kLenMaxCodeLen, costs.len);
  if (aligned) {
    CostsFromLens(codes.aligned_lens, kAlignedMaxCodeLen, costs.aligned);
  } else {
    for (auto& c : costs.aligned) c = kAlignedBits * kBit;
  }
  costs.aligned_block = aligned;
  costs.Derive();
}

// An aligned block spends 24 bits on its tree and then codes the low 3 offset bits with it.
bool TLzxCompressor::TState::AlignedPays(const TFreqs& f, const TCodes& codes) {
  std::uint64_t verbatim_bits = 0, aligned_bits = kNumAlignedSyms * kAlignedLenBits;
  for (unsigned s = 0; s < kNumAlignedSyms; ++s) {
    verbatim_bits += std::uint64_t{f.aligned[s]} * kAlignedBits;
    aligned_bits += std::uint64_t{f.aligned[s]} * codes.aligned_lens[s];
  }
  return aligned_bits < verbatim_bits;
}

// The bytes WriteBlock would take for a chunk's only block, counted from the tallies: passes
// are compared by this, and only the one kept is written.
std::size_t TLzxCompressor::TState::BlockBytes(const TFreqs& f, const TCodes& codes, bool aligned, unsigned n) {
  std::uint64_t bits = kBlockTypeBits + 1 + (n == kLzxChunkSize ? 0 : kBlockSizeBits);
  if (aligned) bits += kNumAlignedSyms * kAlignedLenBits;
  const std::array<std::uint8_t, kNumMainSyms> no_main{};
  const std::array<std::uint8_t, kNumLenSyms> no_len{};
  bits += WriteCodeLens(nullptr, no_main.data(), codes.main_lens.data(), kNumChars);
  bits += WriteCodeLens(nullptr, no_main.data() + kNumChars, codes.main_lens.data() + kNumChars,
                        kNumMainSyms - kNumChars);
  bits += WriteCodeLens(nullptr, no_len.data(), codes.len_lens.data(), kNumLenSyms);
  for (unsigned s = 0; s < kNumMainSyms; ++s) {
    std::uint64_t per = codes.main_lens[s];
    if (s >= kNumChars) {
      const unsigned extra = ExtraBitsOfSlot((s - kNumChars) / kNumLenHeaders);
      per += aligned && extra >= kAlignedBits ? extra - kAlignedBits : extra;
    }
    bits += per * f.main[s];
  }
  for (unsigned s = 0; s < kNumLenSyms; ++s) bits += std::uint64_t{f.len[s]} * codes.len_lens[s];
  if (aligned)
    for (unsigned s = 0; s < kNumAlignedSyms; ++s) bits += std::uint64_t{f.aligned[s]} * codes.aligned_lens[s];
  return std::size_t((bits + 15) / 16 * 2);
}

void TLzxCompressor::TState::WriteBlock(TBitWriter& w, const std::vector<TItem>& block, const TCodes& codes,
                                        bool aligned,
                                        unsigned n, std::array<std::uint8_t, kNumMainSyms>& prev_main,
                                        std::array<std::uint8_t, kNumLenSyms>& prev_len) const {
  w.Put(aligned ? kBlockAligned : kBlockVerbatim, kBlockTypeBits);
  if (n == kLzxChunkSize) {
    w.Put(1, 1);
  } else {
    w.Put(0, 1);
    w.Put(n, kBlockSizeBits);
  }
  if (aligned)
    for (unsigned s = 0; s < kNumAlignedSyms; ++s) w.Put(codes.aligned_lens[s], kAlignedLenBits);
  WriteCodeLens(&w, prev_main.data(), codes.main_lens.data(), kNumChars);
  WriteCodeLens(&w, prev_main.data() + kNumChars, codes.main_lens.data() + kNumChars,
                kNumMainSyms - kNumChars);
  WriteCodeLens(&w, prev_len.data(), codes.len_lens.data(), kNumLenSyms);
  prev_main = codes.main_lens;
  prev_len = codes.len_lens;

  unsigned pos = 0;
  for (const TItem& it : block) {
    if (it.len == 1) {
      const unsigned c = buf[pos];
      w.Put(codes.main_codes[c], codes.main_lens[c]);
      pos += 1;
      continue;
    }
    const unsigned slot = it.code < kNumReps ? it.code : SlotOfFormatted(it.code);
    const unsigned header = std::min(unsigned(it.len) - kMinMatch, kLenHeaderEscape);
    const unsigned sym = kNumChars + slot * kNumLenHeaders + header;
    w.Put(codes.main_codes[sym], codes.main_lens[sym]);
    if (header == kLenHeaderEscape) {
      const unsigned ls = it.len - kMinMatch - kLenHeaderEscape;
      w.Put(codes.len_codes[ls], codes.len_lens[ls]);
    }
    const unsigned bits = ExtraBitsOfSlot(slot);
    if (bits != 0) {
      const std::uint32_t extra = it.code - kSlotBase[slot];
      if (aligned && bits >= kAlignedBits) {
        w.Put(extra >> kAlignedBits, bits - kAlignedBits);
        const unsigned a = extra & (kNumAlignedSyms - 1);
        w.Put(codes.aligned_codes[a], codes.aligned_lens[a]);
      } else {
        w.Put(extra, bits);
      }
    }
    pos += it.len;
  }
}

// --- Public entry ---

TLzxCompressor::TLzxCompressor(const TLzxTuning& tuning) : state_(std::make_unique<TState>()) {
  state_->tuning = tuning;
  TLzxTuning& t = state_->tuning;
  t.nice_match_len = std::clamp(t.nice_match_len, 3u, kMaxMatch);
  t.max_search_depth = std::max(t.max_search_depth, 1u);
  t.optimization_passes = std::max(t.optimization_passes, 1u);
}

TLzxCompressor::~TLzxCompressor() = default;

void TLzxCompressor::StartStream() {
  state_->have_model = false;
  state_->heavy_losses = 0;
}

bool TLzxCompressor::CompressChunk(std::span<const std::uint8_t> chunk, std::vector<std::uint8_t>& out) {
  TState& s = *state_;
  const auto n = unsigned(chunk.size());
  if (n == 0 || n > kLzxChunkSize) return false;
  std::memcpy(s.buf.data(), chunk.data(), n);
  std::memset(s.buf.data() + n, 0, kBufferPadding);
  LzxTranslateE8(std::span(s.buf.data(), n));

  // After a chunk that compressed to almost nothing, matches are long and many: a deeper
  // search finds longer ones, where elsewhere it finds next to nothing new.
  const bool smooth = s.have_model && s.last_per_mille < kSmoothPerMille;
  s.search_depth = s.tuning.max_search_depth * (smooth ? kSmoothDepthPercent : 100) / 100;
  s.FindAllMatches(n);
  if (!s.have_model) s.InitialCosts(n);

  // Each pass is counted and the smallest kept: a later pass, priced with the codes of the one
  // before, is usually but not always smaller.
  TFreqs freqs, best_freqs;
  TCodes codes, best_codes;
  bool aligned = false, best_aligned = false;
  std::size_t best_size = std::numeric_limits<std::size_t>::max();
  auto pass = [&](unsigned pair_reach) {
    s.Parse(n, pair_reach);
    s.Tally(freqs);
    TState::MakeCodes(freqs, codes);
    aligned = TState::AlignedPays(freqs, codes);
    const std::size_t size = TState::BlockBytes(freqs, codes, aligned, n);
    if (size < best_size) {
      best_size = size;
      s.items.swap(s.best_items);
      best_freqs = freqs;
      best_codes = codes;
      best_aligned = aligned;
    }
  };
  auto literal_heavy = [&] { return best_size * 1000 > std::size_t{n} * kLiteralHeavyPerMille; };
  for (unsigned p = 0; p < s.tuning.optimization_passes; ++p) {
    pass(kMaxOffset);
    // A chunk that the codes of the one before leave above kNearlyRawPerMille of its size has
    // little for a second pass to find.
    if (p == 0 && s.have_model && best_size * 1000 > std::size_t{n} * kNearlyRawPerMille) break;
    if (p + 1 < s.tuning.optimization_passes) s.CostsFromCodes(codes, aligned, literal_heavy() ? nullptr : &freqs);
  }
  // Where literals are most of the chunk, the passes settle on many 2-byte matches at far
  // offsets that each look a little cheaper than two literals but together leave the literal
  // code worse off (the painting: 1,769 matches of 2.3 bytes on average where wimlib took 659,
  // and 112 bytes more per chunk). One more pass without them is tried and kept if smaller.
  // Kept, its codes also start the next chunk off better, which is most of what it gains. In
  // some pictures it never wins, so after a few heavy chunks in a row where it lost it is only
  // tried on every fourth: a fifth less time on those, 0.002% in size on the bench corpus.
  if (literal_heavy()) {
    if (s.heavy_losses < kHeavyLossesBeforeSparing || s.heavy_losses % kHeavySparingPeriod == 0) {
      const std::size_t before = best_size;
      s.CostsFromCodes(best_codes, best_aligned);
      pass(kLiteralHeavyPairReach);
      s.heavy_losses = best_size < before ? 0 : s.heavy_losses + 1;
    } else {
      ++s.heavy_losses;
    }
  }
  s.CostsFromCodes(best_codes, best_aligned, literal_heavy() ? nullptr : &best_freqs);
  s.have_model = true;
  s.last_per_mille = unsigned(std::min<std::size_t>(best_size, n) * 1000 / n);
  if (best_size >= n) return false;
  out.resize(best_size);
  TBitWriter w(out);
  std::array<std::uint8_t, kNumMainSyms> prev_main{};
  std::array<std::uint8_t, kNumLenSyms> prev_len{};
  s.WriteBlock(w, s.best_items, best_codes, best_aligned, n, prev_main, prev_len);
  if (!w.Finish()) throw std::logic_error("LZX block size miscounted");
  return true;
}

// --- Whole resources ---

namespace {

// Chunks [first, last) of `data` through one compressor, appended to `out`; `chunk_ends` are
// relative to where `out` started.
void CompressRun(TLzxCompressor& lzx, std::span<const std::uint8_t> data, std::size_t first, std::size_t last,
                 std::vector<std::uint8_t>& out, std::vector<std::size_t>& chunk_ends) {
  std::vector<std::uint8_t> packed;
  const std::size_t base = out.size();
  lzx.StartStream();
  // A run that starts mid-resource first settles its costs on the chunk before it, unwritten:
  // starting cold cost the bench corpus 0.018%, the settling costs one chunk's time.
  for (std::size_t i = first > 0 ? first - 1 : first; i < last; ++i) {
    const auto chunk = data.subspan(i * kLzxChunkSize, std::min(kLzxChunkSize, data.size() - i * kLzxChunkSize));
    // A chunk that does not shrink is stored as it is; readers recognise it by its size.
    const bool shrank = lzx.CompressChunk(chunk, packed);
    if (i < first) continue;
    if (shrank)
      out.insert(out.end(), packed.begin(), packed.end());
    else
      out.insert(out.end(), chunk.begin(), chunk.end());
    chunk_ends.push_back(out.size() - base);
  }
}

// Where to cut a resource of two or more chunks so that both runs take about as long; the
// second run also compresses the chunk before the cut. A chunk takes longer the more of it
// repeats (more matches to find and to price): the share of sampled 3-byte strings seen
// before in the chunk estimates that from the data alone, so the cut, and with it the bytes,
// does not depend on the machine. Halving the resource instead left one run up to 75% longer
// than the other on pictures whose top and bottom differ (sky above sand).
std::size_t BalancedCut(std::span<const std::uint8_t> data, std::size_t chunks) {
  constexpr unsigned kSampleStride = 8;
  constexpr unsigned kSeenBits = 16;
  std::vector<std::uint64_t> seen((std::size_t{1} << kSeenBits) / 64);
  std::vector<std::uint32_t> weight(chunks);
  for (std::size_t k = 0; k < chunks; ++k) {
    const auto chunk = data.subspan(k * kLzxChunkSize, std::min(kLzxChunkSize, data.size() - k * kLzxChunkSize));
    std::fill(seen.begin(), seen.end(), 0);
    unsigned samples = 0, repeats = 0;
    for (std::size_t i = 0; i + 3 <= chunk.size(); i += kSampleStride) {
      const std::uint32_t h = Hash3(&chunk[i], kSeenBits);
      const std::uint64_t bit = std::uint64_t{1} << (h % 64);
      repeats += (seen[h / 64] & bit) != 0;
      seen[h / 64] |= bit;
      ++samples;
    }
    // A chunk with no repeats at all still costs about a third of one that is all repeats.
    weight[k] = 1000 + (samples ? 2000 * repeats / samples : 0);
  }
  std::uint64_t before = 0, total = 0;
  for (std::uint32_t w : weight) total += w;
  std::size_t best = chunks / 2;
  std::uint64_t best_longer = std::numeric_limits<std::uint64_t>::max();
  for (std::size_t cut = 1; cut < chunks; ++cut) {
    before += weight[cut - 1];
    const std::uint64_t longer = std::max(before, total - before + weight[cut - 1]);
    if (longer < best_longer) {
      best_longer = longer;
      best = cut;
    }
  }
  return best;
}

}  // namespace

TLzxResourceCompressor::TLzxResourceCompressor(const TLzxTuning& tuning) : tuning_(tuning), first_(tuning) {}

TLzxResourceCompressor::~TLzxResourceCompressor() = default;

void TLzxResourceCompressor::Compress(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out,
                                      std::vector<std::size_t>& chunk_ends) {
  out.clear();
  chunk_ends.clear();
  const std::size_t chunks = (data.size() + kLzxChunkSize - 1) / kLzxChunkSize;
  if (chunks < 2) {
    CompressRun(first_, data, 0, chunks, out, chunk_ends);
    return;
  }
  // The fresh start costs the second part about a chunk's worth of settling: -0.0x% on the
  // bench corpus, for nearly half the wall time.
  const std::size_t half = BalancedCut(data, chunks);
  if (!second_) second_ = std::make_unique<TLzxCompressor>(tuning_);
  std::vector<std::uint8_t> tail;
  std::vector<std::size_t> tail_ends;
  std::exception_ptr failure;
  std::thread worker;
  if (tuning_.threads > 1) {
    try {
      worker = std::thread([&] {
        try {
          CompressRun(*second_, data, half, chunks, tail, tail_ends);
        } catch (...) {
          failure = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      // No thread to be had: the calling thread does both parts below.
    }
  }
  try {
    CompressRun(first_, data, 0, half, out, chunk_ends);
  } catch (...) {
    if (worker.joinable()) worker.join();
    throw;
  }
  if (worker.joinable()) {
    worker.join();
    if (failure) std::rethrow_exception(failure);
  } else {
    CompressRun(*second_, data, half, chunks, tail, tail_ends);
  }
  const std::size_t head = out.size();
  out.insert(out.end(), tail.begin(), tail.end());
  for (std::size_t end : tail_ends) chunk_ends.push_back(head + end);
}

}  // namespace imaging
