// SHA-256, the digest an install records for the file it keeps.
#include <gtest/gtest.h>

#include <string>

#include "base/sha256.h"

namespace marivane {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(Sha256, KnownAnswers) {
  std::string counting;
  for (int round = 0; round < 3; ++round)
    for (int byte = 0; byte < 256; ++byte) counting += static_cast<char>(byte);
  struct TCase {
    std::string message;
    const char* digest;
  };
  const TCase cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      // 55 bytes: the length still fits the block; 56: it takes a block of its own.
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlm"
       "nopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {counting, "f3a25aa93aa2fbba28d79260535bbd6a5eb0fc1c24a8b0f04e12b484c1dfe363"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.message.size());
    EXPECT_EQ(HexString(Sha256Of(Bytes(c.message))), c.digest);
    // The same in uneven pieces across the block boundaries, by a hash used once before.
    TSha256 hash;
    hash.Update(Bytes("used before"));
    hash.Finish();
    for (std::size_t at = 0; at < c.message.size();) {
      const std::size_t take = std::min<std::size_t>(at % 71 + 1, c.message.size() - at);
      hash.Update(Bytes(c.message).subspan(at, take));
      at += take;
    }
    EXPECT_EQ(HexString(hash.Finish()), c.digest);
  }
  const std::uint8_t tag[] = {0x0A, 0xBC, 0xFF};
  EXPECT_EQ(HexString(tag, THexCase::Upper), "0ABCFF");
}

}  // namespace
}  // namespace marivane
