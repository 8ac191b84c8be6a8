// Decodes LZX as a WIM stores it: every chunk a stream of its own (empty window, recent offsets
// 1, 1, 1, previous code lengths zero), no stream header, and the E8 call translation undone
// over the chunk with the fixed size 12,000,000.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace imaging {

class TLzxDecompressor {
 public:
  // `chunk_size` is the archive's: a power of two from 32,768 to 2,097,152. It is the window,
  // and sets how many offset slots the main code has and how a block gives its size.
  explicit TLzxDecompressor(std::uint32_t chunk_size = 32768);
  ~TLzxDecompressor();
  TLzxDecompressor(const TLzxDecompressor&) = delete;
  TLzxDecompressor& operator=(const TLzxDecompressor&) = delete;

  // Decodes one chunk into `out`, which is exactly as long as the chunk's data (1 byte to the
  // chunk size). Returns an empty string, or what is wrong with the stream. As strict as
  // wimlib's and 7-Zip's decoders: complete codes only (an empty length code is allowed), no
  // run of code lengths past its end, matches inside the chunk and their block, and the stream
  // may not end before the data does.
  std::string DecodeChunk(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

}  // namespace imaging
