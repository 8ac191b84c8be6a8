#include "base/sha256.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace marivane {
namespace {

// The first 32 bits of the fractional parts of the square roots of the first eight primes.
constexpr std::array<std::uint32_t, 8> kInitialHash = {
    0x6a09e667u, 0xbb67ae85u, 0x3c6ef372u, 0xa54ff53au,
    0x510e527fu, 0x9b05688cu, 0x1f83d9abu, 0x5be0cd19u};

// The first 32 bits of the fractional parts of the cube roots of the first 64 primes.
constexpr std::array<std::uint32_t, 64> kRoundConstants = {
    0x428a2f98u, 0x71374491u, 0xb5c0fbcfu, 0xe9b5dba5u, 0x3956c25bu, 0x59f111f1u, 0x923f82a4u,
    0xab1c5ed5u, 0xd807aa98u, 0x12835b01u, 0x243185beu, 0x550c7dc3u, 0x72be5d74u, 0x80deb1feu,
    0x9bdc06a7u, 0xc19bf174u, 0xe49b69c1u, 0xefbe4786u, 0x0fc19dc6u, 0x240ca1ccu, 0x2de92c6fu,
    0x4a7484aau, 0x5cb0a9dcu, 0x76f988dau, 0x983e5152u, 0xa831c66du, 0xb00327c8u, 0xbf597fc7u,
    0xc6e00bf3u, 0xd5a79147u, 0x06ca6351u, 0x14292967u, 0x27b70a85u, 0x2e1b2138u, 0x4d2c6dfcu,
    0x53380d13u, 0x650a7354u, 0x766a0abbu, 0x81c2c92eu, 0x92722c85u, 0xa2bfe8a1u, 0xa81a664bu,
    0xc24b8b70u, 0xc76c51a3u, 0xd192e819u, 0xd6990624u, 0xf40e3585u, 0x106aa070u, 0x19a4c116u,
    0x1e376c08u, 0x2748774cu, 0x34b0bcb5u, 0x391c0cb3u, 0x4ed8aa4au, 0x5b9cca4fu, 0x682e6ff3u,
    0x748f82eeu, 0x78a5636fu, 0x84c87814u, 0x8cc70208u, 0x90befffau, 0xa4506cebu, 0xbef9a3f7u,
    0xc67178f2u};

constexpr std::size_t kBlockSize = 64;
// Padding: a 0x80 byte, zeros, and the message length in bits as the block's last 8 bytes.
constexpr std::size_t kLengthAt = kBlockSize - 8;
static_assert(kRoundConstants.size() == kBlockSize, "one constant per round, 64 rounds");

}  // namespace

TSha256::TSha256() : state_(kInitialHash) {}

void TSha256::Absorb(const std::uint8_t* block) {
  std::uint32_t schedule[64];
  for (int i = 0; i < 16; ++i) {
    const std::uint8_t* word = block + 4 * i;
    schedule[i] = std::uint32_t{word[0]} << 24 | std::uint32_t{word[1]} << 16 |
                  std::uint32_t{word[2]} << 8 | word[3];
  }
  for (int i = 16; i < 64; ++i) {
    const std::uint32_t s0 =
        std::rotr(schedule[i - 15], 7) ^ std::rotr(schedule[i - 15], 18) ^ (schedule[i - 15] >> 3);
    const std::uint32_t s1 =
        std::rotr(schedule[i - 2], 17) ^ std::rotr(schedule[i - 2], 19) ^ (schedule[i - 2] >> 10);
    schedule[i] = schedule[i - 16] + s0 + schedule[i - 7] + s1;
  }
  auto [a, b, c, d, e, f, g, h] = state_;
  for (int i = 0; i < 64; ++i) {
    const std::uint32_t choose = (e & f) ^ (~e & g);
    const std::uint32_t t1 = h + (std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25)) + choose +
                             kRoundConstants[i] + schedule[i];
    const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
    const std::uint32_t t2 = (std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22)) + majority;
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  const std::uint32_t worked[8] = {a, b, c, d, e, f, g, h};
  for (int i = 0; i < 8; ++i) state_[i] += worked[i];
}

void TSha256::Update(std::span<const std::uint8_t> data) {
  message_bytes_ += data.size();
  while (!data.empty()) {
    if (filled_ == 0 && data.size() >= kBlockSize) {
      Absorb(data.data());  // whole blocks straight from the caller's bytes
      data = data.subspan(kBlockSize);
      continue;
    }
    const std::size_t take = std::min(kBlockSize - filled_, data.size());
    std::memcpy(block_.data() + filled_, data.data(), take);
    filled_ += take;
    data = data.subspan(take);
    if (filled_ == kBlockSize) {
      Absorb(block_.data());
      filled_ = 0;
    }
  }
}

TSha256Digest TSha256::Finish() {
  const std::uint64_t message_bits = message_bytes_ * 8;
  block_[filled_++] = 0x80;
  // No room left for the length: it goes into one more block of padding.
  if (filled_ > kLengthAt) {
    std::memset(block_.data() + filled_, 0, kBlockSize - filled_);
    Absorb(block_.data());
    filled_ = 0;
  }
  std::memset(block_.data() + filled_, 0, kLengthAt - filled_);
  for (int i = 0; i < 8; ++i)
    block_[kLengthAt + i] = static_cast<std::uint8_t>(message_bits >> (56 - 8 * i));
  Absorb(block_.data());

  TSha256Digest digest;
  for (int i = 0; i < 32; ++i)
    digest[i] = static_cast<std::uint8_t>(state_[i / 4] >> (24 - 8 * (i % 4)));
  *this = TSha256();
  return digest;
}

TSha256Digest Sha256Of(std::span<const std::uint8_t> data) {
  TSha256 hash;
  hash.Update(data);
  return hash.Finish();
}

}  // namespace marivane
