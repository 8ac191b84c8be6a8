#include "module/pe_checksum.h"

#include <limits>

#include "module/byte_io.h"
#include "module/pe_format.h"

namespace marivane::module {

namespace {

constexpr std::size_t kPeHeaderOffsetField = 0x3C;  // e_lfanew
constexpr std::size_t kChecksumFromPeHeader = 88;   // "PE\0\0" (4) + COFF (20) + 64

// One's-complement-style 16-bit sum with end-around carry. S never exceeds 0xFFFF after a
// fold, so a 32-bit accumulator is enough.
std::uint32_t Fold(std::uint32_t sum) { return sum > 0xFFFF ? (sum & 0xFFFF) + (sum >> 16) : sum; }

// Takes one 16-bit half of the stored CheckSum back out. This is a borrow, not a
// one's-complement subtraction: when the sum equals the half exactly the result is 0, where
// adding the complement would give 0xFFFF. pefile skips the field instead of subtracting it, so
// in that one case (the rest of the file summing to one's-complement zero) it answers 0xFFFF
// more than CheckSumMappedFile does.
std::uint32_t Unsum(std::uint32_t sum, std::uint32_t half) {
  return sum < half ? (sum - half - 1) & 0xFFFF : sum - half;
}

}  // namespace

std::optional<std::uint32_t> ComputePeChecksum(std::span<const std::uint8_t> image) {
  if (image.size() > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  const auto mz = Load16(image, 0);
  const auto pe_offset = Load32(image, kPeHeaderOffsetField);
  if (!mz || *mz != kDosMagic || !pe_offset) return std::nullopt;
  // Load32 refuses any offset whose 4 bytes run past the end, which covers e_lfanew + 92 > size;
  // the guard keeps e_lfanew + 88 itself from wrapping where size_t has 32 bits (i686).
  const auto signature = Load32(image, *pe_offset);
  const auto stored =
      *pe_offset <= std::numeric_limits<std::uint32_t>::max() - kChecksumFromPeHeader
          ? Load32(image, std::size_t{*pe_offset} + kChecksumFromPeHeader)
          : std::nullopt;
  if (!signature || *signature != kPeSignature || !stored) return std::nullopt;

  std::uint32_t sum = 0;
  const std::size_t whole_words = image.size() / 2;
  for (std::size_t i = 0; i < whole_words; ++i) {
    sum = Fold(sum + (image[2 * i] | image[2 * i + 1] << 8));
  }
  // An odd last byte counts as a word whose high byte is 0.
  if (image.size() % 2 != 0) sum = Fold(sum + image.back());

  sum = Unsum(sum, *stored & 0xFFFF);
  sum = Unsum(sum, *stored >> 16);
  return sum + static_cast<std::uint32_t>(image.size());
}

}  // namespace marivane::module
