// The PE image checksum, computed from the bytes of a module the way imagehlp's
// CheckSumMappedFile computes it, so the builder can fill in the CheckSum field without
// imagehlp.dll.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace marivane::module {

// Returns the checksum of `image`, or nothing when the bytes are not a PE image we can sum:
// shorter than a DOS header, no "MZ" at 0, e_lfanew placing the CheckSum field (e_lfanew + 88,
// 4 bytes) past the end, no "PE\0\0" at e_lfanew, or longer than 4 GiB - 1 (the length enters
// the result as a 32-bit value). The CheckSum field's current value is taken out of the sum,
// so it may hold anything.
std::optional<std::uint32_t> ComputePeChecksum(std::span<const std::uint8_t> image);

}  // namespace marivane::module
