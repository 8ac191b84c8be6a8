#include "base/hex_text.h"

namespace marivane {
namespace {

constexpr char kUpper[] = "0123456789ABCDEF";
constexpr char kLower[] = "0123456789abcdef";

}  // namespace

std::string HexNumber(std::uint64_t value, int digits) {
  std::string text;
  do {
    text.insert(text.begin(), kUpper[value % 16]);
    value /= 16;
  } while (value != 0 || int(text.size()) < digits);
  return "0x" + text;
}

std::string HexString(std::span<const std::uint8_t> bytes, THexCase letters) {
  const char* digits = letters == THexCase::Upper ? kUpper : kLower;
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t byte : bytes) {
    text += digits[byte >> 4];
    text += digits[byte & 0x0F];
  }
  return text;
}

}  // namespace marivane
