#include "imaging/lzx_block.h"

#include <algorithm>
#include <array>

#include "imaging/huffman.h"

namespace imaging::lzx {

namespace {

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
// A tree's code lengths travel as differences from the previous block's, through a pretree of
// their own. A WIM chunk is one block of a fresh stream, so the previous lengths are all zero.

struct TPretreeToken {
  std::uint8_t sym;
  std::uint8_t extra_bits;
  std::uint8_t extra;
  std::uint8_t value_sym;  // for a run of equal lengths: the difference symbol that follows
};

struct TCodeLenEncoding {
  std::array<TPretreeToken, kNumMainSyms> tokens;
  unsigned num_tokens = 0;
  std::array<std::uint8_t, kNumPretreeSyms> pretree_lens{};
  std::uint64_t bits = 0;  // the pretree's lengths, then every token
};

// The tokens for `lens`: runs of zeros, runs of four or five equal lengths, single lengths.
TCodeLenEncoding EncodeCodeLens(std::span<const std::uint8_t> lens) {
  TCodeLenEncoding e;
  std::array<std::uint32_t, kNumPretreeSyms> freqs{};
  auto difference = [&](unsigned i) { return std::uint8_t((kLenModulus - lens[i]) % kLenModulus); };
  auto emit = [&](TPretreeToken t) {
    ++freqs[t.sym];
    if (t.sym == kPreSame4) ++freqs[t.value_sym];
    e.tokens[e.num_tokens++] = t;
  };
  const unsigned count = unsigned(lens.size());
  for (unsigned i = 0; i < count;) {
    unsigned run = 1;
    while (i + run < count && lens[i + run] == lens[i]) ++run;
    if (lens[i] == 0 && run >= 4) {
      while (run >= 20) {
        const unsigned r = std::min(run, 20u + 31u);  // the count has 5 bits
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
      emit({kPreSame4, 1, std::uint8_t(r - 4), difference(i)});
      i += r;
      continue;
    }
    emit({difference(i), 0, 0, 0});
    ++i;
  }
  BuildCodeLengths(freqs, kPretreeMaxCodeLen, e.pretree_lens);
  e.bits = kNumPretreeSyms * kPretreeLenBits;
  for (unsigned s = 0; s < kNumPretreeSyms; ++s) e.bits += std::uint64_t{freqs[s]} * e.pretree_lens[s];
  for (unsigned t = 0; t < e.num_tokens; ++t) e.bits += e.tokens[t].extra_bits;
  return e;
}

std::uint64_t CountCodeLens(std::span<const std::uint8_t> lens) { return EncodeCodeLens(lens).bits; }

void WriteCodeLens(TBitWriter& w, std::span<const std::uint8_t> lens) {
  const TCodeLenEncoding e = EncodeCodeLens(lens);
  std::array<std::uint16_t, kNumPretreeSyms> codes{};
  BuildCanonicalCodes(e.pretree_lens, codes);
  for (unsigned s = 0; s < kNumPretreeSyms; ++s) w.Put(e.pretree_lens[s], kPretreeLenBits);
  for (unsigned t = 0; t < e.num_tokens; ++t) {
    const TPretreeToken& tok = e.tokens[t];
    w.Put(codes[tok.sym], e.pretree_lens[tok.sym]);
    if (tok.extra_bits) w.Put(tok.extra, tok.extra_bits);
    if (tok.sym == kPreSame4) w.Put(codes[tok.value_sym], e.pretree_lens[tok.value_sym]);
  }
}

// Stretches of at least kRunMin used symbols whose counts each stay within kEvenSpread of
// their stretch's average take that average (EvenedForRuns): 4 gave the photographs 0.026% and
// the harder pictures 0.057%; 2 and 6 gained about two thirds of that, and a spread relative to
// the counts less.
constexpr unsigned kRunMin = 4;
constexpr std::uint64_t kEvenSpread = 4;

template <std::size_t N>
void EvenOut(std::array<std::uint32_t, N>& counts, std::size_t first, std::size_t last) {
  for (std::size_t i = first; i < last;) {
    if (counts[i] == 0) {
      ++i;
      continue;
    }
    std::uint64_t sum = counts[i];
    std::size_t end = i + 1;
    for (; end < last && counts[end] != 0; ++end) {
      // |count - average| <= spread, the average over the stretch with this count in it.
      const std::uint64_t k = end - i + 1, with = sum + counts[end], scaled = counts[end] * k;
      if ((scaled > with ? scaled - with : with - scaled) > kEvenSpread * k) break;
      sum = with;
    }
    const std::size_t len = end - i;
    if (len >= kRunMin) {
      const auto average = std::uint32_t(std::max<std::uint64_t>(1, (sum + len / 2) / len));
      std::fill(counts.begin() + std::ptrdiff_t(i), counts.begin() + std::ptrdiff_t(end), average);
    }
    i = end;
  }
}

// The main tree travels in two parts, literals first, each through a pretree of its own.
std::span<const std::uint8_t> LiteralLens(const TCodes& codes) {
  return std::span(codes.main_lens).first(kNumChars);
}
std::span<const std::uint8_t> MatchSymbolLens(const TCodes& codes) {
  return std::span(codes.main_lens).subspan(kNumChars);
}

unsigned SlotOfCode(unsigned code) { return code < kNumReps ? code : SlotOfFormatted(code); }

void WriteMatch(TBitWriter& w, const TItem& it, const TCodes& codes, bool aligned) {
  const unsigned slot = SlotOfCode(it.code);
  const unsigned sym = MatchSymbol(slot, it.len);
  w.Put(codes.main_codes[sym], codes.main_lens[sym]);
  if (LenHeader(it.len) == kLenHeaderEscape) {
    const unsigned ls = LenSymbol(it.len);
    w.Put(codes.len_codes[ls], codes.len_lens[ls]);
  }
  const unsigned bits = ExtraBitsOfSlot(slot);
  if (bits == 0) return;
  const std::uint32_t extra = it.code - kSlotBase[slot];
  if (aligned && bits >= kAlignedBits) {
    w.Put(extra >> kAlignedBits, bits - kAlignedBits);
    const unsigned a = extra & (kNumAlignedSyms - 1);
    w.Put(codes.aligned_codes[a], codes.aligned_lens[a]);
  } else {
    w.Put(extra, bits);
  }
}

}  // namespace

TFreqs Tally(std::span<const TItem> items, const std::uint8_t* in) {
  TFreqs f;
  unsigned pos = 0;
  for (const TItem& it : items) {
    if (it.len == 1) {
      ++f.main[in[pos]];
    } else {
      const unsigned slot = SlotOfCode(it.code);
      ++f.main[MatchSymbol(slot, it.len)];
      if (LenHeader(it.len) == kLenHeaderEscape) ++f.len[LenSymbol(it.len)];
      if (ExtraBitsOfSlot(slot) >= kAlignedBits) ++f.aligned[it.code & (kNumAlignedSyms - 1)];
    }
    pos += it.len;
  }
  return f;
}

void MakeCodes(const TFreqs& freqs, TCodes& codes) {
  BuildCodeLengths(freqs.main, kMainMaxCodeLen, codes.main_lens);
  BuildCanonicalCodes(codes.main_lens, codes.main_codes);
  BuildCodeLengths(freqs.len, kLenMaxCodeLen, codes.len_lens);
  BuildCanonicalCodes(codes.len_lens, codes.len_codes);
  BuildCodeLengths(freqs.aligned, kAlignedMaxCodeLen, codes.aligned_lens);
  BuildCanonicalCodes(codes.aligned_lens, codes.aligned_codes);
}

TFreqs EvenedForRuns(const TFreqs& freqs) {
  TFreqs evened = freqs;
  // The runs a pretree sees: the literals' lengths, the match symbols', the length tree's.
  EvenOut(evened.main, 0, kNumChars);
  EvenOut(evened.main, kNumChars, kNumMainSyms);
  EvenOut(evened.len, 0, kNumLenSyms);
  return evened;
}

// An aligned block spends 24 bits on its tree and then codes the low 3 offset bits with it.
bool AlignedPays(const TFreqs& freqs, const TCodes& codes) {
  std::uint64_t verbatim_bits = 0, aligned_bits = kNumAlignedSyms * kAlignedLenBits;
  for (unsigned s = 0; s < kNumAlignedSyms; ++s) {
    verbatim_bits += std::uint64_t{freqs.aligned[s]} * kAlignedBits;
    aligned_bits += std::uint64_t{freqs.aligned[s]} * codes.aligned_lens[s];
  }
  return aligned_bits < verbatim_bits;
}

std::size_t BlockBytes(const TFreqs& freqs, const TCodes& codes, bool aligned, unsigned n) {
  std::uint64_t bits = kBlockTypeBits + 1 + (n == kLzxChunkSize ? 0 : kBlockSizeBits);
  if (aligned) bits += kNumAlignedSyms * kAlignedLenBits;
  bits += CountCodeLens(LiteralLens(codes)) + CountCodeLens(MatchSymbolLens(codes));
  bits += CountCodeLens(codes.len_lens);
  for (unsigned s = 0; s < kNumMainSyms; ++s) {
    std::uint64_t per = codes.main_lens[s];
    if (s >= kNumChars) {
      const unsigned extra = ExtraBitsOfSlot((s - kNumChars) / kNumLenHeaders);
      per += aligned && extra >= kAlignedBits ? extra - kAlignedBits : extra;
    }
    bits += per * freqs.main[s];
  }
  for (unsigned s = 0; s < kNumLenSyms; ++s) bits += std::uint64_t{freqs.len[s]} * codes.len_lens[s];
  if (aligned) {
    for (unsigned s = 0; s < kNumAlignedSyms; ++s)
      bits += std::uint64_t{freqs.aligned[s]} * codes.aligned_lens[s];
  }
  return std::size_t((bits + 15) / 16 * 2);
}

bool WriteBlock(std::span<const TItem> items, const std::uint8_t* in, unsigned n, const TCodes& codes,
                bool aligned, std::span<std::uint8_t> out) {
  TBitWriter w(out);
  w.Put(aligned ? kBlockAligned : kBlockVerbatim, kBlockTypeBits);
  if (n == kLzxChunkSize) {
    w.Put(1, 1);
  } else {
    w.Put(0, 1);
    w.Put(n, kBlockSizeBits);
  }
  if (aligned)
    for (unsigned s = 0; s < kNumAlignedSyms; ++s) w.Put(codes.aligned_lens[s], kAlignedLenBits);
  WriteCodeLens(w, LiteralLens(codes));
  WriteCodeLens(w, MatchSymbolLens(codes));
  WriteCodeLens(w, codes.len_lens);
  unsigned pos = 0;
  for (const TItem& it : items) {
    if (it.len == 1) {
      w.Put(codes.main_codes[in[pos]], codes.main_lens[in[pos]]);
    } else {
      WriteMatch(w, it, codes, aligned);
    }
    pos += it.len;
  }
  return w.Finish();
}

}  // namespace imaging::lzx
