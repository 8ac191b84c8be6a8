#include "module/pe_checksum.h"

#include <limits>

#include "base/byte_reader.h"
#include "module/pe_format.h"

namespace marivane::module {

namespace {

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
  const TByteReader bytes(image);
  if (!bytes.Holds(0, 2) || bytes.U16(offsetof(TDosHeaderDisk, magic)) != kDosMagic ||
      !bytes.Holds(kPeHeaderOffsetField, 4))
    return std::nullopt;
  // The reader's offsets are 64-bit, so e_lfanew + 88 cannot wrap even where size_t has 32
  // bits (i686); a field whose 4 bytes run past the end, e_lfanew + 92 > size, is refused.
  const std::uint64_t pe_offset = bytes.U32(kPeHeaderOffsetField);
  if (!bytes.Holds(pe_offset, kPeSignatureSize) || bytes.U32(pe_offset) != kPeSignature ||
      !bytes.Holds(pe_offset + kChecksumFromPeHeader, 4))
    return std::nullopt;
  const std::uint32_t stored = bytes.U32(pe_offset + kChecksumFromPeHeader);

  std::uint32_t sum = 0;
  const std::size_t whole_words = image.size() / 2;
  for (std::size_t i = 0; i < whole_words; ++i) {
    sum = Fold(sum + (image[2 * i] | image[2 * i + 1] << 8));
  }
  // An odd last byte counts as a word whose high byte is 0.
  if (image.size() % 2 != 0) sum = Fold(sum + image.back());

  sum = Unsum(sum, stored & 0xFFFF);
  sum = Unsum(sum, stored >> 16);
  return sum + static_cast<std::uint32_t>(image.size());
}

}  // namespace marivane::module
