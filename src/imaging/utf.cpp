#include "imaging/utf.h"

#include <cstdint>

namespace imaging {

namespace {
constexpr char32_t kHighSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateEnd = 0xE000;
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr char32_t kMaxCodePoint = 0x10FFFF;
}  // namespace

bool Utf16ToUtf8(std::u16string_view in, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < in.size(); ++i) {
    char32_t c = in[i];
    if (c >= kHighSurrogateFirst && c < kSurrogateEnd) {
      if (c >= kLowSurrogateFirst || i + 1 >= in.size()) return false;
      const char32_t lo = in[i + 1];
      if (lo < kLowSurrogateFirst || lo >= kSurrogateEnd) return false;
      c = kFirstSupplementary + ((c - kHighSurrogateFirst) << 10) + (lo - kLowSurrogateFirst);
      ++i;
    }
    if (c < 0x80) {
      out.push_back(char(c));
    } else if (c < 0x800) {
      out.push_back(char(0xC0 | (c >> 6)));
      out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(char(0xE0 | (c >> 12)));
      out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(char(0x80 | (c & 0x3F)));
    } else {
      out.push_back(char(0xF0 | (c >> 18)));
      out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(char(0x80 | (c & 0x3F)));
    }
  }
  return true;
}

bool Utf8ToUtf16(std::string_view in, std::u16string& out) {
  out.clear();
  for (std::size_t i = 0; i < in.size();) {
    const auto b0 = static_cast<unsigned char>(in[i]);
    int extra;
    char32_t c;
    if (b0 < 0x80) {
      c = b0;
      extra = 0;
    } else if ((b0 & 0xE0) == 0xC0) {
      c = b0 & 0x1F;
      extra = 1;
    } else if ((b0 & 0xF0) == 0xE0) {
      c = b0 & 0x0F;
      extra = 2;
    } else if ((b0 & 0xF8) == 0xF0) {
      c = b0 & 0x07;
      extra = 3;
    } else {
      return false;
    }
    if (i + std::size_t(extra) >= in.size()) return false;  // truncated sequence
    for (int k = 1; k <= extra; ++k) {
      const auto b = static_cast<unsigned char>(in[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      c = (c << 6) | (b & 0x3F);
    }
    // Overlong forms and surrogates have no place in a file name.
    static constexpr char32_t kMinForLength[4] = {0, 0x80, 0x800, 0x10000};
    if (c < kMinForLength[extra] || c > kMaxCodePoint || (c >= kHighSurrogateFirst && c < kSurrogateEnd))
      return false;
    if (c >= kFirstSupplementary) {
      c -= kFirstSupplementary;
      out.push_back(char16_t(kHighSurrogateFirst + (c >> 10)));
      out.push_back(char16_t(kLowSurrogateFirst + (c & 0x3FF)));
    } else {
      out.push_back(char16_t(c));
    }
    i += std::size_t(extra) + 1;
  }
  return true;
}

}  // namespace imaging
