// SHA-256 (FIPS 180-4), the digest an install records for the file it keeps, so that a later
// run can tell that the kept file is still the one it kept. Portable, for every layer.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace marivane {

using TSha256Digest = std::array<std::uint8_t, 32>;

class TSha256 {
 public:
  TSha256();
  void Update(std::span<const std::uint8_t> data);
  // The digest of everything given since construction or the last Finish; starts afresh.
  TSha256Digest Finish();

 private:
  void Absorb(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> block_{};
  std::size_t filled_ = 0;      // bytes waiting in block_
  std::uint64_t message_bytes_ = 0;
};

TSha256Digest Sha256Of(std::span<const std::uint8_t> data);

}  // namespace marivane
