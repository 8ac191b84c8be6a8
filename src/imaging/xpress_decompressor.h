// Decodes XPRESS chunks as a WIM stores them: the Huffman variant, in which each chunk begins
// with 256 bytes holding the 4-bit lengths of its one 512-symbol code.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace imaging {

class TXpressDecompressor {
 public:
  TXpressDecompressor();
  ~TXpressDecompressor();
  TXpressDecompressor(const TXpressDecompressor&) = delete;
  TXpressDecompressor& operator=(const TXpressDecompressor&) = delete;

  // Decodes one chunk into `out`, which is exactly as long as the chunk's data (at most
  // 65,536 bytes). Returns an empty string, or what is wrong with the stream.
  std::string DecodeChunk(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

}  // namespace imaging
