// Generated test data shared by the compressor and archive tests.
#pragma once

#include <cstdint>
#include <climits>
#include <cstring>
#include <iterator>
#include <random>
#include <vector>

namespace imaging::testing {

using Bytes = std::vector<std::uint8_t>;

inline void putLe32(Bytes& b, std::size_t at, std::int32_t v) { std::memcpy(&b[at], &v, 4); }

inline Bytes RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = std::uint8_t(rng());
  return b;
}

// Smooth rows with a little noise, three bytes a pixel: what photographs look like to LZX.
inline Bytes PhotoLike(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t px = i / 3, x = px % 800, y = px / 800;
    b[i] = std::uint8_t((x / 4 + y * (i % 3 + 1) + rng() % 5) & 0xFF);
  }
  return b;
}

// E8 bytes where the translation could go wrong: the last translated position (n-11) and
// operands on each side of every boundary of the rule, relative to where they sit:
// -i and -i-1 (lowest translated negative), 12e6-i-1 and 12e6-i (start of the compensating
// branch), 12e6-1 and 12e6 (top), plus values that never translate.
inline Bytes E8Edges(std::size_t n) {
  Bytes b = PhotoLike(n, 7);
  for (std::size_t i = 0; i < n; ++i)
    if (b[i] == 0xE8) b[i] = 0;
  constexpr std::int32_t kSize = 12000000;
  std::size_t at = 100;  // past the back-to-back run below
  for (int round = 0; at + 5 < n - 11; ++round) {
    const auto i = std::int32_t(at);
    const std::int32_t operands[] = {-i,        -i - 1,   kSize - i - 1, kSize - i, kSize - 1, kSize,
                                     0,         1000,     -1,            0x7FFFFFFF, INT32_MIN};
    b[at] = 0xE8;
    putLe32(b, at + 1, operands[std::size_t(round) % std::size(operands)]);
    at += 37 + std::size_t(round % 5);
  }
  // Back-to-back E8s: the second is an operand byte and must not be translated itself.
  if (n > 64) {
    for (int k = 0; k < 6; ++k) b[40 + k] = 0xE8;
  }
  if (n >= 11) {
    b[n - 11] = 0xE8;  // the last position translated: its operand ends at n-6
    putLe32(b, n - 10, 3);
  }
  return b;
}

// The first position left alone (n-10) holding an E8, with no E8 just before it that could
// swallow it as an operand byte.
inline Bytes E8Untouched(std::size_t n) {
  Bytes b = PhotoLike(n, 8);
  for (std::size_t i = 0; i < n; ++i)
    if (b[i] == 0xE8) b[i] = 0;
  if (n >= 10) {
    b[n - 10] = 0xE8;
    putLe32(b, n - 9, 0);  // would read as n-10 if it were translated
  }
  return b;
}

inline Bytes RepeatOffsets(std::size_t n) {
  // Three interleaved periods make the recent-offset queue do all its swaps.
  Bytes b = RandomBytes(n, 3);
  const std::size_t periods[] = {3, 2400, 3072};
  for (std::size_t i = 3072; i < n; ++i) {
    const std::size_t p = periods[(i / 50) % 3];
    if ((i / 17) % 5 != 0) b[i] = b[i - p];
  }
  return b;
}

inline Bytes LongestMatches(std::size_t n) {
  // Runs of exactly 257, 258 and 514 equal-to-earlier bytes around random separators.
  Bytes b = RandomBytes(n, 11);
  const std::size_t lengths[] = {257, 258, 514, 256, 9, 10, 2, 3};
  std::size_t at = 600, k = 0;
  while (at + 600 < n) {
    const std::size_t len = lengths[k++ % 8];
    for (std::size_t i = 0; i < len; ++i) b[at + i] = b[at - 517 + i];
    at += len + 13;
  }
  return b;
}

}  // namespace imaging::testing
