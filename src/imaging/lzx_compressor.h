// LZX as a WIM stores it: every 32 KiB chunk is its own stream (fresh window, recent offsets
// 1,1,1, previous code lengths all zero), E8 call translation always on, 1-bit block-size flag.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace imaging {

constexpr std::size_t kLzxChunkSize = 32768;  // the only chunk size Microsoft's decoder accepts

// Rewrites x86 CALL operands (E8 xx xx xx xx) in place the way a WIM chunk stores them.
// Positions are relative to the chunk and the translation size is the fixed 12,000,000.
void LzxTranslateE8(std::span<std::uint8_t> chunk);

struct TLzxTuning {
  // 32 and 128 rather than 16 and 64: screenshots, plots and fine grain came out 0.2-1% smaller
  // for 7% more time over the bench corpus; photographs hardly change.
  unsigned max_search_depth = 32;  // binary-tree nodes visited per position
  unsigned nice_match_len = 128;   // a match this long is taken without looking further
  unsigned optimization_passes = 2;
  // A resource's two parts on two threads (see TLzxResourceCompressor); 1 keeps it all on the
  // calling thread. The bytes are the same either way.
  unsigned threads = 2;
};

class TLzxCompressor {
 public:
  explicit TLzxCompressor(const TLzxTuning& tuning = {});
  ~TLzxCompressor();
  TLzxCompressor(const TLzxCompressor&) = delete;
  TLzxCompressor& operator=(const TLzxCompressor&) = delete;

  // Chunks are independent streams, but the compressor carries its symbol costs from one chunk
  // to the next as a starting point. Call this between unrelated data (one file and the next)
  // so a file's result does not depend on what was compressed before it.
  void StartStream();

  // Compresses one chunk (1..32768 bytes). Returns false, leaving `out` unspecified, when the
  // result would not be smaller than the input: the caller then stores the chunk raw.
  bool CompressChunk(std::span<const std::uint8_t> chunk, std::vector<std::uint8_t>& out);

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

// A whole WIM resource, chunk by chunk. One of more than one chunk is cut in two where both
// parts are estimated to take as long (the estimate reads the data only), the second starting
// its cost model afresh as the first does, so a second thread can take it and the bytes do not
// depend on how many threads made them.
class TLzxResourceCompressor {
 public:
  explicit TLzxResourceCompressor(const TLzxTuning& tuning = {});
  ~TLzxResourceCompressor();
  TLzxResourceCompressor(const TLzxResourceCompressor&) = delete;
  TLzxResourceCompressor& operator=(const TLzxResourceCompressor&) = delete;

  // Replaces `out` with every chunk's stored bytes in order (compressed, or as it is where that
  // does not shrink it) and `chunk_ends` with where each chunk ends in `out`.
  void Compress(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out,
                std::vector<std::size_t>& chunk_ends);

 private:
  TLzxTuning tuning_;
  TLzxCompressor first_;
  std::unique_ptr<TLzxCompressor> second_;  // made on the first resource that is cut in two
};

}  // namespace imaging
