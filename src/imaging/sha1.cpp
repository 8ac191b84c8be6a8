#include "imaging/sha1.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace imaging {

namespace {

// FIPS 180 initial chaining values.
constexpr std::array<std::uint32_t, 5> kInitialState = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu,
                                                        0x10325476u, 0xC3D2E1F0u};
constexpr std::size_t kBlockBytes = 64;
// The final block keeps its last 8 bytes for the message length in bits.
constexpr std::size_t kLengthFieldOffset = kBlockBytes - 8;

std::uint32_t LoadBigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

}  // namespace

TSha1::TSha1() : state_(kInitialState) {}

void TSha1::CompressBlock(const std::uint8_t* block) {
  std::uint32_t w[80];
  for (int i = 0; i < 16; ++i) w[i] = LoadBigEndian32(block + 4 * i);
  for (int i = 16; i < 80; ++i) w[i] = std::rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);

  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
  for (int i = 0; i < 80; ++i) {
    std::uint32_t f, k;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999u;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1u;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDCu;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6u;
    }
    const std::uint32_t t = std::rotl(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = std::rotl(b, 30);
    b = a;
    a = t;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  state_[4] += e;
}

void TSha1::Update(std::span<const std::uint8_t> data) {
  total_len_ += data.size();
  std::size_t pos = 0;
  if (pending_len_ > 0) {
    const std::size_t take = std::min(kBlockBytes - pending_len_, data.size());
    std::memcpy(pending_.data() + pending_len_, data.data(), take);
    pending_len_ += take;
    pos = take;
    if (pending_len_ < kBlockBytes) return;
    CompressBlock(pending_.data());
    pending_len_ = 0;
  }
  for (; data.size() - pos >= kBlockBytes; pos += kBlockBytes) CompressBlock(data.data() + pos);
  pending_len_ = data.size() - pos;
  if (pending_len_ > 0) std::memcpy(pending_.data(), data.data() + pos, pending_len_);
}

TSha1Digest TSha1::Finish() {
  const std::uint64_t bit_len = total_len_ * 8;
  pending_[pending_len_++] = 0x80;
  if (pending_len_ > kLengthFieldOffset) {
    std::memset(pending_.data() + pending_len_, 0, kBlockBytes - pending_len_);
    CompressBlock(pending_.data());
    pending_len_ = 0;
  }
  std::memset(pending_.data() + pending_len_, 0, kLengthFieldOffset - pending_len_);
  for (int i = 0; i < 8; ++i) pending_[kLengthFieldOffset + i] = std::uint8_t(bit_len >> (56 - 8 * i));
  CompressBlock(pending_.data());

  TSha1Digest out;
  for (int i = 0; i < 5; ++i) {
    out[4 * i] = std::uint8_t(state_[i] >> 24);
    out[4 * i + 1] = std::uint8_t(state_[i] >> 16);
    out[4 * i + 2] = std::uint8_t(state_[i] >> 8);
    out[4 * i + 3] = std::uint8_t(state_[i]);
  }
  *this = TSha1();
  return out;
}

TSha1Digest Sha1Of(std::span<const std::uint8_t> data) {
  TSha1 h;
  h.Update(data);
  return h.Finish();
}

}  // namespace imaging
