// Numbers and bytes as hex text, the one way every layer writes them into a message.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace marivane {

// "0x1A2B": upper-case digits after 0x, at least `digits` of them (zeros in front), as the
// programs' messages show offsets and error codes.
std::string HexNumber(std::uint64_t value, int digits = 1);

enum class THexCase { Lower, Upper };

// Two hex digits per byte, in order: "e3b0c442..." (Lower, as sha256sum prints a digest).
std::string HexString(std::span<const std::uint8_t> bytes, THexCase letters = THexCase::Lower);

}  // namespace marivane
