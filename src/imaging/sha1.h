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
  TSha1();
  void Update(std::span<const std::uint8_t> data);
  TSha1Digest Finish();

 private:
  void CompressBlock(const std::uint8_t* block);

  std::array<std::uint32_t, 5> state_;
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pending_len_ = 0;
  std::uint64_t total_len_ = 0;
};

TSha1Digest Sha1Of(std::span<const std::uint8_t> data);

}  // namespace imaging
