// The near-optimal parse. The numbers beside the constants are from the bench (`make bench`);
// how each was arrived at is in tools/bench/NOTES.md.
#include "imaging/lzx_parse.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "base/little_endian.h"

namespace imaging::lzx {

namespace {

// A step: the complement of its length at the top, then its code (a recent offset's index, or a
// formatted offset), and at the bottom whether it is a gap step. A node keeps the smaller of
// itself and an offer, cost first, so where costs tie the longer step stays: it began at an
// earlier position and was there first, as a strict "cheaper wins" would keep it.
constexpr unsigned kStepLenShift = 22;
constexpr std::uint32_t kStepLenMask = 0x3FF;
constexpr unsigned kStepCodeShift = 1;
constexpr std::uint32_t kStepCodeMask = 0x7FFF;
constexpr std::uint32_t kStepGap = 1;
// The longest step is a gap step: a match, a literal and an R0 match.
constexpr unsigned kLongestStep = kMaxMatch + 1 + kMaxMatch;
static_assert(kLongestStep <= kStepLenMask && kMaxFormattedOffset <= kStepCodeMask);
static_assert((kStepCodeMask << kStepCodeShift) < (1u << kStepLenShift));

constexpr std::uint32_t Step(unsigned len, std::uint32_t code) {
  return (kStepLenMask - len) << kStepLenShift | code << kStepCodeShift;
}
constexpr unsigned StepLen(std::uint32_t step) { return kStepLenMask - (step >> kStepLenShift); }
constexpr unsigned StepCode(std::uint32_t step) { return (step >> kStepCodeShift) & kStepCodeMask; }
constexpr std::uint32_t kLiteralStep = Step(1, 0);
constexpr unsigned kOffersPerSlot = kMaxMatch + 1;
// The first slot with kAlignedBits extra bits or more: in an aligned block the aligned tree
// prices the low three of them.
constexpr unsigned kFirstAlignedSlot = 8;
static_assert(ExtraBitsOfSlot(kFirstAlignedSlot) == kAlignedBits &&
              ExtraBitsOfSlot(kFirstAlignedSlot - 1) < kAlignedBits);
// All-ones bytes make every cost kInfiniteCost in one sweep (Parse).
static_assert(kInfiniteCost == 0xFFFFFFFFu);

// The three recent offsets, R0 in the low 16 bits, in one word: the parse copies a queue at
// every position, and one 8-byte copy is cheaper than three 2-byte ones.
struct TRecentOffsets {
  std::uint64_t packed;

  unsigned operator[](unsigned k) const { return unsigned(packed >> (16 * k)) & 0xFFFF; }
  // A match at recent offset k: that offset moves to the front, R0 takes its place.
  TRecentOffsets Swapped(unsigned k) const {
    const std::uint64_t r0 = packed & 0xFFFF, rk = (packed >> (16 * k)) & 0xFFFF;
    return {packed ^ (r0 ^ rk) ^ (r0 ^ rk) << (16 * k)};
  }
  // An explicit offset goes in front; R2 falls out.
  TRecentOffsets Pushed(unsigned off) const { return {(packed << 16 | off) & 0xFFFF'FFFF'FFFF}; }
};
constexpr TRecentOffsets kInitialOffsets{0x0001'0001'0001};
// The queue a position's cheapest path leaves is worked out when the parse reaches it, from the
// queue where its step began: the last kQueueRing queues reach back past the longest step.
constexpr unsigned kQueueRing = 1024;
static_assert(kQueueRing > kLongestStep);
using TQueueRing = std::array<TRecentOffsets, kQueueRing>;

// An R0 match that only goes on with the one offered at the position before (same offset, a
// byte shorter, or as long where both reach the longest length) offers just this many of its
// shortest new lengths and its full length: its middle ones were offered from there at nearly
// the same price. Long runs at one offset had made the offers grow with the square of the run
// (the plot: 74 of its 94 million offers).
constexpr unsigned kContinuedMatchLengths = 4;

// What every step of one parse reads and writes, copied out of the members: writes to the
// nodes could otherwise alias them in the compiler's eyes and force a reload on every offer.
struct TView {
  const std::uint8_t* in;
  unsigned n;
  TNode* node;
  std::uint16_t* gaps;
  const TCostModel& model;
  // Per slot and length: the node a match would make from cost 0, the offset's extra bits in
  // (bar those an aligned block prices by offset).
  const std::uint64_t* offers;
  const TMatch* matches;
  const std::uint32_t* match_start;
  unsigned pair_reach;
};

// The R0 match offered at a position: its offset and length (0 for none).
struct TR0Offer {
  unsigned off = 0;
  unsigned len = 0;
};

// The steps below run for every position of every pass, each inlined into the position loop:
// as calls they cost 4% more instructions.
[[gnu::always_inline]] inline
void Offer(TNode* node, unsigned to, std::uint32_t cost, std::uint32_t step) {
  node[to].packed = std::min(node[to].packed, TNode::Of(cost, step).packed);
}

// Lengths first..last of one match from position i, at `slot`. Each offer is that length's
// node made up beforehand (Parse) plus the match's base cost and code, one add. Without
// branches: whether a length wins is hard to foresee, and long matches offer many (with the
// cost and step compared and moved apart, the loop took 5 more instructions a length).
[[gnu::always_inline]] inline
void OfferLengths(const TView& v, unsigned i, unsigned first, unsigned last, std::uint32_t base, unsigned slot,
                  std::uint32_t code) {
  TNode* const d = v.node + i;
  const std::uint64_t* const made = v.offers + slot * kOffersPerSlot;
  const std::uint64_t add = TNode::Of(base, code << kStepCodeShift).packed;
  for (std::size_t l = first; l <= last; ++l) d[l].packed = std::min(d[l].packed, made[l] + add);
}

// A match that stops at one differing byte often goes on at the same offset after it (a pixel
// with one channel changed). The cheapest path to the byte after the literal need not come
// through this match, so its queue would be lost: the three steps are priced as one. Tried
// after every match at its full length.
[[gnu::always_inline]] inline
void OfferGap(const TView& v, unsigned i, unsigned len, std::uint32_t cost, unsigned code, unsigned off) {
  const unsigned after = i + len + 1;
  if (after + kMinMatch > v.n) return;
  const std::uint8_t* const p = v.in + after;
  if (marivane::LoadU16(p) != marivane::LoadU16(p - off)) return;
  const unsigned len2 = CommonPrefix(p, p - off, kMinMatch, std::min(kMaxMatch, v.n - after));
  const unsigned to = after + len2;
  cost += v.model.main[v.in[i + len]] + v.model.match[0][len2];
  if (cost < v.node[to].cost()) {
    v.node[to] = TNode::Of(cost, Step(len + 1 + len2, code) | kStepGap);
    v.gaps[to] = std::uint16_t(len);
  }
}

// The cheapest path to i is final once the parse gets there, and so is the queue it leaves:
// the queue where its last step began, changed by that step.
[[gnu::always_inline]] inline
TRecentOffsets& SettleQueue(TQueueRing& queues, unsigned i, std::uint32_t step) {
  TRecentOffsets& reps = queues[i % kQueueRing];
  const unsigned len = StepLen(step);
  reps = queues[(i - len) % kQueueRing];
  if (len > 1) {
    const unsigned code = StepCode(step);
    reps = code < kNumReps ? reps.Swapped(code) : reps.Pushed(code - kOffsetAdjust);
  }
  return reps;
}

// Matches at the three recent offsets, R0 first. Returns the longest length offered; `r0` is
// the R0 match offered here, `before` the one offered at the position before. Each offset's
// turn is written out for its own k, so that what holds for R0 alone costs the others nothing.
[[gnu::always_inline]] inline
unsigned OfferRecentOffsets(const TView& v, unsigned i, std::uint32_t cost, TRecentOffsets reps,
                            TR0Offer before, TR0Offer& r0) {
  const std::uint8_t* const here = v.in + i;
  const unsigned max_len = std::min(kMaxMatch, v.n - i);
  // Most recent offsets fail on the first two bytes; one 16-bit compare settles those.
  const std::uint16_t head = marivane::LoadU16(here);
  // An offset that is in the queue twice (the first queue's 1s) is measured twice to the same
  // length, and the second offers nothing: cheaper than testing every offset for it.
  unsigned prev_len = kMinMatch - 1;
  auto offer = [&]<unsigned k>(unsigned off) {
    // No recent offset reaches back past the chunk's start: an offset entered the queue with a
    // match that started at least that far in, and the first queue's 1s are in reach from
    // position 1 on. Position 0 has no matches and is never offered from.
    if (marivane::LoadU16(here - off) != head) return;
    // An R0 match at the offset of the one offered at the position before goes on from it, so
    // it is at least as long as that one less a byte: a byte shorter, or as long where both
    // reach the longest length.
    const bool continued = k == 0 && before.len != 0 && off == before.off;
    const unsigned known = continued ? std::max(before.len - 1, kMinMatch) : kMinMatch;
    const unsigned len = CommonPrefix(here, here - off, known, max_len);
    if (len <= prev_len) return;
    const std::uint32_t* const mc = v.model.match[k].data();
    if (k == 0) r0 = {off, len};
    if (continued && len - prev_len > kContinuedMatchLengths) {
      OfferLengths(v, i, prev_len + 1, prev_len + kContinuedMatchLengths, cost, k, k);
      Offer(v.node, i + len, cost + mc[len], Step(len, k));
    } else {
      OfferLengths(v, i, prev_len + 1, len, cost, k, k);
    }
    OfferGap(v, i, len, cost + mc[len], k, off);
    prev_len = len;
  };
  offer.template operator()<0>(reps[0]);
  offer.template operator()<1>(reps[1]);
  offer.template operator()<2>(reps[2]);
  return prev_len;
}

// The finder's matches at i, each offering the lengths past those offered before it. One at a
// recent offset was offered as such already.
[[gnu::always_inline]] inline
void OfferExplicitOffsets(const TView& v, unsigned i, std::uint32_t cost, TRecentOffsets reps,
                          unsigned prev_len) {
  const unsigned rep0 = reps[0], rep1 = reps[1], rep2 = reps[2];
  for (std::uint32_t m = v.match_start[i], end = v.match_start[i + 1]; m < end; ++m) {
    const TMatch match = v.matches[m];
    const unsigned off = match.offset;
    if (match.len <= prev_len || (match.len == kMinMatch && off > v.pair_reach)) continue;
    if (off == rep0 || off == rep1 || off == rep2) {
      prev_len = match.len;
      continue;
    }
    const std::uint32_t formatted = off + kOffsetAdjust;
    const unsigned slot = SlotOfFormatted(formatted);
    // The offset's other extra bits are in the slot's offers already (Parse).
    const bool aligned = v.model.aligned_block && slot >= kFirstAlignedSlot;
    const std::uint32_t base = cost + (aligned ? v.model.aligned[formatted & (kNumAlignedSyms - 1)] : 0);
    OfferLengths(v, i, prev_len + 1, match.len, base, slot, formatted);
    prev_len = match.len;
    const auto full = std::uint32_t(v.offers[slot * kOffersPerSlot + match.len] >> 32);
    OfferGap(v, i, match.len, base + full, formatted, off);
  }
}

// The path, walked from the end: the items are laid down from the back of `scratch` (room for
// v.n of them, one a byte at most), then copied out in one piece.
void ItemsFromPath(const TView& v, TItem* scratch, std::vector<TItem>& items) {
  TItem* const end = scratch + v.n;
  TItem* out = end;
  for (unsigned pos = v.n; pos > 0;) {
    const std::uint32_t step = v.node[pos].step();
    if (step == kLiteralStep) {
      // Apart from being the commonest step, a literal is known to lead one byte back before
      // its node is read: the walk goes on without waiting for that load.
      *--out = {1, 0};
      --pos;
      continue;
    }
    const auto len = std::uint16_t(StepLen(step));
    const auto code = std::uint16_t(StepCode(step));
    if (step & kStepGap) {
      // From the back: the R0 match, the literal, then the match before the gap.
      const std::uint16_t gap = v.gaps[pos];
      *--out = {std::uint16_t(len - gap - 1), 0};
      *--out = {1, 0};
      *--out = {gap, code};
    } else {
      *--out = {len, code};
    }
    pos -= len;
  }
  items.assign(out, end);
}

}  // namespace

TParser::TParser()
    : nodes_(kLzxChunkSize + 1),
      gap_len_(kLzxChunkSize + 1),
      offers_(kNumOffsetSlots * kOffersPerSlot),
      path_(kLzxChunkSize) {}

// Forward dynamic programming over positions, under prices fixed for the pass. What it gives up:
// - Each position keeps only the cheapest way found to reach it, and with it the one recent-
//   offset queue that way leaves: a dearer way in that would leave a more useful queue is lost
//   (gap steps win back the commonest case, a match broken by one literal).
// - Each length is offered once, by the cheapest kind of match that reaches it: R0, R1, R2,
//   then the nearest explicit offset. A farther offset for the same length is never weighed,
//   though its slot may code cheaper or a later match reuse it (8% of the time for 0.007%).
// - Only the matches the finder reported: a walk stops after its depth or at a nice length, and
//   positions inside a long match offer none of their own.
// - An R0 match that goes on from the position before offers only its shortest new lengths and
//   its full length (kContinuedMatchLengths).
// - The prices do not follow the path's own choices: they come from the pass before, and the
//   passes approach the codes they are coded with without reaching them.
void TParser::Parse(const std::uint8_t* in, unsigned n, const TMatchFinder& finder, const TCostModel& costs,
                    unsigned pair_reach, std::vector<TItem>& items) {
  // Every slot's offers, made up once a pass: a chunk makes far more offers than there are.
  // They include the offset's extra bits, but for the low ones an aligned block prices by offset.
  for (unsigned slot = 0; slot < kNumOffsetSlots; ++slot) {
    std::uint64_t* const made = offers_.data() + slot * kOffersPerSlot;
    const unsigned bits = ExtraBitsOfSlot(slot);
    const std::uint32_t extra =
        (costs.aligned_block && slot >= kFirstAlignedSlot ? bits - kAlignedBits : bits) * kBit;
    for (unsigned l = kMinMatch; l <= kMaxMatch; ++l)
      made[l] = TNode::Of(costs.match[slot][l] + extra, Step(l, 0)).packed;
  }
  const TView v{in, n, nodes_.data(), gap_len_.data(), costs, offers_.data(), finder.matches(), finder.starts(),
                pair_reach};
  const std::uint8_t* const silent = finder.silent();
  std::memset(v.node, 0xFF, sizeof(TNode) * (n + 1));
  v.node[0] = TNode::Of(0, kInfiniteCost);
  TQueueRing queues;
  queues[0] = kInitialOffsets;
  TR0Offer r0;  // the R0 match offered at the position before (kContinuedMatchLengths)
  for (unsigned i = 0; i < n; ++i) {
    const TNode cur = v.node[i];
    const TR0Offer before = std::exchange(r0, {});
    const TRecentOffsets& reps = i > 0 ? SettleQueue(queues, i, cur.step()) : queues[0];
    Offer(v.node, i + 1, cur.cost() + costs.main[in[i]], kLiteralStep);
    if (silent[i]) continue;
    const unsigned prev_len = OfferRecentOffsets(v, i, cur.cost(), reps, before, r0);
    OfferExplicitOffsets(v, i, cur.cost(), reps, prev_len);
  }
  ItemsFromPath(v, path_.data(), items);
}

}  // namespace imaging::lzx
