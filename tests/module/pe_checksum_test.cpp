#include "module/pe_checksum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "module_test_support.h"

namespace marivane::module::test {
namespace {

constexpr std::uint32_t kLfanew = 0x40;
constexpr std::size_t kField = kLfanew + 88;

// Pseudo-random bytes behind just enough of a PE32 header for pefile to take the file: "MZ",
// e_lfanew, "PE\0\0", a COFF header with no sections and an optional header that names 16
// data directories. The CheckSum field gets `stored`.
TBytes MakeImage(std::size_t length, std::uint32_t stored, std::uint32_t seed) {
  TBytes image = RandomBytes(std::max<std::size_t>(length, 0x180), seed);
  std::fill(image.begin(), image.begin() + 0x180, 0);
  PutU16(image, 0, 0x5A4D);
  PutU32(image, 0x3C, kLfanew);
  PutU32(image, kLfanew, 0x00004550);
  PutU16(image, kLfanew + 4, 0x014C);
  PutU16(image, kLfanew + 20, 0xE0);     // SizeOfOptionalHeader
  PutU16(image, kLfanew + 24, 0x010B);   // PE32
  PutU32(image, kLfanew + 24 + 92, 16);  // NumberOfRvaAndSizes
  PutU32(image, kField, stored);
  image.resize(length);
  return image;
}

struct PefileCase {
  std::size_t length;
  std::uint32_t stored;  // a non-zero field must be taken out again, not summed
};

// Lengths cover every remainder modulo 4 (pefile pads to DWORDs, CheckSumMappedFile sums WORDs
// plus an odd byte) and field values that borrow in one half, both halves, or neither.
TEST(PeChecksum, EqualsPefileGenerateChecksum) {
  if (!HavePefile()) GTEST_SKIP() << "pefile checks run in the native build";
  const PefileCase cases[] = {
      {0x200, 0},           {0x201, 0x12345678},   {0x202, 0xFFFFFFFF},    {0x203, 0x0000FFFF},
      {0x1001, 0xFFFF0000}, {0x10000, 0xDEADBEEF}, {0x100003, 0x003A1F5C}, {3'800'463, 0x0040B2E1},
  };
  const ScratchDir dir;
  std::vector<std::string> paths;
  std::string expected;
  char line[16];
  for (std::uint32_t i = 0; i < std::size(cases); ++i) {
    const TBytes image = MakeImage(cases[i].length, cases[i].stored, i + 1);
    paths.push_back(dir.Write("image" + std::to_string(i), image));
    std::snprintf(line, sizeof(line), "%08x\n", ComputePeChecksum(image).value());
    expected += line;
  }
  const ScriptResult pefile = RunScript("pefile_checksum.py", paths);
  ASSERT_EQ(pefile.status, 0) << pefile.output;
  EXPECT_EQ(pefile.output, expected);
}

// Where the two part ways: when everything but the field sums to one's-complement zero,
// CheckSumMappedFile's borrow gives 0 and pefile's skipped DWORD gives 0xFFFF. The builder
// must match CheckSumMappedFile, so this pins our answer to the borrow rule.
TEST(PeChecksum, BorrowsLikeCheckSumMappedFileWhenTheRestSumsToZero) {
  TBytes image = MakeImage(0x400, 0, 7);
  PutU16(image, 0x3FE, 0);
  const std::uint32_t partial = ComputePeChecksum(image).value() - 0x400;  // field is 0 here
  // Top the rest up to exactly 0xFFFF, then store 1 in the field.
  PutU16(image, 0x3FE, static_cast<std::uint16_t>(0xFFFF - partial));
  PutU32(image, kField, 1);
  EXPECT_EQ(ComputePeChecksum(image), 0x400u);
  if (!HavePefile()) return;
  const ScratchDir dir;
  const ScriptResult pefile = RunScript("pefile_checksum.py", {dir.Write("zero", image)});
  EXPECT_EQ(pefile.output, "000103ff\n");  // 0xFFFF + 0x400
}

TEST(PeChecksum, RejectsWhatIsNotAPeImage) {
  const TBytes good = MakeImage(kField + 4, 0, 3);  // the field is the file's last 4 bytes
  ASSERT_TRUE(ComputePeChecksum(good).has_value());
  struct Case {
    const char* what;
    TBytes image;
  };
  TBytes no_mz = good;
  no_mz[0] = 'X';
  TBytes no_pe = good;
  no_pe[kLfanew] = 'X';
  TBytes far_lfanew = good;
  PutU32(far_lfanew, 0x3C, kLfanew + 1);  // field would end one byte past the data
  TBytes huge_lfanew = good;
  PutU32(huge_lfanew, 0x3C, 0xFFFFFFF0);  // e_lfanew + 88 wraps in 32 bits
  const Case cases[] = {
      {"empty", {}},
      {"shorter than a DOS header", TBytes(good.begin(), good.begin() + 63)},
      {"field cut off", TBytes(good.begin(), good.end() - 1)},
      {"no MZ", no_mz},
      {"no PE signature", no_pe},
      {"e_lfanew past the end", far_lfanew},
      {"e_lfanew wraps", huge_lfanew},
  };
  for (const Case& c : cases) EXPECT_FALSE(ComputePeChecksum(c.image).has_value()) << c.what;
}

}  // namespace
}  // namespace marivane::module::test
