// SHA-1, the hash a WIM uses to name every blob and to check it on extraction.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace imaging {

using Sha1Digest = std::array<std::uint8_t, 20>;

class Sha1 {
 public:
  Sha1();
  void update(std::span<const std::uint8_t> data);
  Sha1Digest finish();

 private:
  void compressBlock(const std::uint8_t* block);

  std::array<std::uint32_t, 5> state_;
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pending_len_ = 0;
  std::uint64_t total_len_ = 0;
};

Sha1Digest sha1Of(std::span<const std::uint8_t> data);

}  // namespace imaging
