// SHA-1, the hash a WIM uses to name every blob and to check it on extraction.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace imaging {

using TSha1Digest = std::array<std::uint8_t, 20>;

class TSha1 {
 public:
  // `portable` keeps to plain C++ even where the processor has SHA instructions (for tests).
  explicit TSha1(bool portable = false);
  void Update(std::span<const std::uint8_t> data);
  TSha1Digest Finish();

 private:
  void CompressBlocks(const std::uint8_t* data, std::size_t blocks);

  std::array<std::uint32_t, 5> state_;
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pending_len_ = 0;
  std::uint64_t total_len_ = 0;
  bool portable_;
};

TSha1Digest Sha1Of(std::span<const std::uint8_t> data);

}  // namespace imaging
