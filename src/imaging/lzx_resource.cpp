// A whole WIM resource: cut in two parts of about equal work, the second on a thread of its
// own. The numbers beside the constants are from the bench (`make bench`); how each was
// arrived at is in tools/bench/NOTES.md.
#include <algorithm>
#include <exception>
#include <functional>
#include <limits>
#include <system_error>
#include <thread>

#include "imaging/lzx_compressor.h"
#include "imaging/lzx_match_finder.h"

namespace imaging {

namespace {

// The cut's estimate of a chunk's work: one 3-byte string in kSampleStride is looked up in a
// bit set of kSeenBits-bit hashes of those seen before in the chunk.
constexpr unsigned kSampleStride = 8;
constexpr unsigned kSeenBits = 16;
// A chunk with no repeats at all still costs about a third of one that is all repeats.
constexpr std::uint32_t kBaseWeight = 1000;
constexpr std::uint32_t kRepeatWeight = 2000;

std::span<const std::uint8_t> Chunk(std::span<const std::uint8_t> data, std::size_t i) {
  return data.subspan(i * kLzxChunkSize, std::min(kLzxChunkSize, data.size() - i * kLzxChunkSize));
}

// Chunks [first, last) of `data` through one compressor, appended to `out`; `chunk_ends` are
// relative to where `out` started.
void CompressRun(TLzxCompressor& lzx, std::span<const std::uint8_t> data, std::size_t first, std::size_t last,
                 std::vector<std::uint8_t>& out, std::vector<std::size_t>& chunk_ends) {
  std::vector<std::uint8_t> packed;
  const std::size_t base = out.size();
  lzx.StartStream();
  // A run that starts mid-resource first settles its prices on the chunk before it, unwritten:
  // starting cold cost 0.018% in size, the settling costs one chunk's time.
  for (std::size_t i = first > 0 ? first - 1 : first; i < last; ++i) {
    const auto chunk = Chunk(data, i);
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

// How long a chunk is expected to take, from its data alone: the more of it repeats, the more
// matches there are to find and to price. The share of sampled 3-byte strings seen before in
// the chunk stands for that.
std::uint32_t ChunkWeight(std::span<const std::uint8_t> chunk, std::vector<std::uint64_t>& seen) {
  std::fill(seen.begin(), seen.end(), 0);
  unsigned samples = 0, repeats = 0;
  for (std::size_t i = 0; i + 3 <= chunk.size(); i += kSampleStride) {
    const std::uint32_t h = lzx::Hash3(&chunk[i], kSeenBits);
    const std::uint64_t bit = std::uint64_t{1} << (h % 64);
    repeats += (seen[h / 64] & bit) != 0;
    seen[h / 64] |= bit;
    ++samples;
  }
  return kBaseWeight + (samples ? kRepeatWeight * repeats / samples : 0);
}

// Where to cut a resource of two or more chunks so that both runs take about as long; the
// second run also compresses the chunk before the cut. The estimate reads the data only, so
// the cut, and with it the bytes, does not depend on the machine. Halving the resource instead
// left one run up to 75% longer than the other where a picture's top and bottom differ.
std::size_t BalancedCut(std::span<const std::uint8_t> data, std::size_t chunks) {
  std::vector<std::uint64_t> seen((std::size_t{1} << kSeenBits) / 64);
  std::vector<std::uint32_t> weight(chunks);
  for (std::size_t k = 0; k < chunks; ++k) weight[k] = ChunkWeight(Chunk(data, k), seen);
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

// Runs `work` on a thread of its own where one can be had; `join` waits for it and passes on
// what it threw. Without a thread, `join` runs it.
class TSideRun {
 public:
  template <class TWork>
  TSideRun(bool wanted, TWork work) : work_(std::move(work)) {
    if (!wanted) return;
    try {
      thread_ = std::thread([this] {
        try {
          work_();
        } catch (...) {
          failure_ = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      // No thread to be had: Join runs the work on the calling thread.
    }
  }
  TSideRun(const TSideRun&) = delete;
  TSideRun& operator=(const TSideRun&) = delete;
  // An exception on the calling thread still waits for the side run before it unwinds.
  ~TSideRun() {
    if (thread_.joinable()) thread_.join();
  }

  void Join() {
    if (!thread_.joinable()) return work_();
    thread_.join();
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  std::function<void()> work_;
  std::thread thread_;
  std::exception_ptr failure_;
};

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
  // Cut in two, the bench corpus comes out 0.004% larger than in one run (grain at most, 0.06%)
  // for nearly half the wall time.
  const std::size_t cut = BalancedCut(data, chunks);
  if (!second_) second_ = std::make_unique<TLzxCompressor>(tuning_);
  std::vector<std::uint8_t> tail;
  std::vector<std::size_t> tail_ends;
  TSideRun side(tuning_.threads > 1, [&] { CompressRun(*second_, data, cut, chunks, tail, tail_ends); });
  CompressRun(first_, data, 0, cut, out, chunk_ends);
  side.Join();
  const std::size_t head = out.size();
  out.insert(out.end(), tail.begin(), tail.end());
  for (std::size_t end : tail_ends) chunk_ends.push_back(head + end);
}

}  // namespace imaging
