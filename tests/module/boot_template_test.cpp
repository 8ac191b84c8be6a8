#include "module/boot_template.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <ostream>

#include "module/pe_checksum.h"
#include "module/template_layout.h"
#include "module_test_support.h"

namespace marivane::module::test {
namespace {

const TBytes& Template() {
  static const TBytes bytes = BuildBootTemplate().template_bytes;
  return bytes;
}

// Runs check_module.py on a finished file; its output lists every failed check.
ScriptResult CheckFinishedFile(const TBytes& finished, std::uint32_t w) {
  const ScratchDir dir;
  return RunScript("check_module.py", {dir.Write("winload.exe.mui", finished), std::to_string(w)});
}

#ifdef MARIVANE_TEMPLATE_PATH
// The file the build wrote (in a cross build, by a generator compiled for the build machine).
TEST(BootTemplate, IsTheFileTheBuildWrote) {
  std::ifstream file(MARIVANE_TEMPLATE_PATH, std::ios::binary);
  ASSERT_TRUE(file) << MARIVANE_TEMPLATE_PATH;
  EXPECT_EQ(TBytes(std::istreambuf_iterator<char>(file), {}), Template());
}
#endif

// W = 1000 leaves the file mostly zero filler (pefile then adds its byte-frequency warning),
// 1001 is odd, and a full slot leaves no filler at all.
class FinishedFile : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(FinishedFile, PassesPefileAndTheLoaderChecks) {
  if (!HavePefile()) GTEST_SKIP() << "pefile checks run in the native build";
  const std::uint32_t w = GetParam();
  const TBytes finished = Splice(Template(), RandomBytes(w, w));
  ASSERT_EQ(finished.size(), Template().size() + kSlotSize);
  const ScriptResult result = CheckFinishedFile(finished, w);
  EXPECT_EQ(result.status, 0) << result.output;
}

INSTANTIATE_TEST_SUITE_P(PayloadSizes, FinishedFile, ::testing::Values(1000u, 1001u, kSlotSize));

// A later template may carry string and message tables and named types after the slot; the
// directory must stay sorted and the MUI configuration must list every type.
TEST(BootTemplate, TakesExtraResourcesAfterTheSlot) {
  if (!HavePefile()) GTEST_SKIP() << "pefile checks run in the native build";
  const std::vector<TResource> extras = {
      {11, TResourceKey::Named("intro"), 0x0409, RandomBytes(37, 1)},
      {6, 2, 0x0409, RandomBytes(64, 2)},
      {TResourceKey::Named("xml"), 3, 0x0409, RandomBytes(9, 3)},
      {6, 1, 0x0409, RandomBytes(64, 4)},
  };
  const TSlotModule module = BuildBootTemplate(extras);
  const ScriptResult result =
      CheckFinishedFile(Splice(module.template_bytes, RandomBytes(1000, 6)), 1000);
  EXPECT_EQ(result.status, 0) << result.output;
}

// The 596 bytes in front of the slot hold about eight resources. With these five extras the
// directory needs: root 16 + 7 types * 8 = 72; type tables 6 * 24 + 32 (two names under 6) =
// 176; name tables 8 * 24 = 192; data entries 7 * 16 = 112 besides the fixed one (16); strings
// "AVI", "MUI", "XML" 8 each and "INTRO" 12 = 36. 604 in all.
TEST(BootTemplate, SaysHowManyBytesTooManyExtrasWouldNeed) {
  const std::vector<TResource> extras = {
      {11, 1, 0x0409, {}},
      {6, 2, 0x0409, {}},
      {TResourceKey::Named("xml"), 3, 0x0409, {}},
      {6, 1, 0x0409, {}},
      {TResourceKey::Named("AVI"), TResourceKey::Named("intro"), 0x0409, {}},
  };
  try {
    BuildBootTemplate(extras);
    ADD_FAILURE() << "the directory should not fit";
  } catch (const EDirectoryOverflow& overflow) {
    EXPECT_EQ(overflow.needed(), 604u);
    EXPECT_EQ(overflow.available(), 596u);
  }
}

// The checker must see the faults that pefile lets through and that broke Wine's loader.
// Each case plants one of them in a good file (with the checksum made right again, except
// where the checksum is the fault) and names the complaint it must produce.
struct Fault {
  const char* name;
  void (*plant)(TBytes& file);
  const char* complaint;
  bool fix_checksum = true;
};

constexpr std::size_t kRootEntries = kResourceSectionFileOffset + 16;  // "MUI", 10, 16

const Fault kFaults[] = {
    {"UnsortedIds",
     [](TBytes& f) {
       std::swap_ranges(f.begin() + kRootEntries + 8, f.begin() + kRootEntries + 16,
                        f.begin() + kRootEntries + 16);
     },
     "are not strictly ascending"},
    {"MissingSubdirectoryBit",
     [](TBytes& f) { PutU32(f, kRootEntries + 12, LoadU32(&f[kRootEntries + 12]) & 0x7FFFFFFF); },
     "lacks the subdirectory bit"},
    {"FileOffsetInsteadOfRva", [](TBytes& f) { PutU32(f, kSlotDataEntryOffset, kSlotOffset); },
     "lies outside the section"},
    {"LowerCaseTypeName",
     [](TBytes& f) {
       const std::size_t text =
           kResourceSectionFileOffset + (LoadU32(&f[kRootEntries]) & 0x7FFFFFFF) + 2;
       for (std::size_t i = 0; i < 3; ++i) f[text + 2 * i] |= 0x20;
     },
     "is not stored upper case"},
    {"SizeOfImageTooSmall", [](TBytes& f) { PutU32(f, kPeHeaderOffset + 24 + 56, 0x1000); },
     "SizeOfImage is wrong"},
    {"RawDataShort",
     [](TBytes& f) {
       PutU32(f, kPeHeaderOffset + 24 + 224 + 16,
              LoadU32(&f[kPeHeaderOffset + 24 + 224 + 16]) - 0x200);
     },
     "does not cover the file"},
    {"VersionLengthWrong",
     [](TBytes& f) { PutU16(f, BuildBootTemplate().resources[1].data_offset, 40); },
     "is not the resource size"},
    {"StaleChecksum", [](TBytes& f) { f[kChecksumFieldOffset] ^= 0x5A; }, "CheckSum field differs",
     false},
};

void PrintTo(const Fault& fault, std::ostream* os) { *os << fault.name; }

class CheckerFault : public ::testing::TestWithParam<Fault> {};

TEST_P(CheckerFault, IsReported) {
  if (!HavePefile()) GTEST_SKIP() << "pefile checks run in the native build";
  const Fault& fault = GetParam();
  TBytes finished = Splice(Template(), RandomBytes(1000, 9));
  fault.plant(finished);
  if (fault.fix_checksum)
    PutU32(finished, kChecksumFieldOffset, ComputePeChecksum(finished).value());
  const ScriptResult result = CheckFinishedFile(finished, 1000);
  EXPECT_NE(result.status, 0) << result.output;
  EXPECT_NE(result.output.find(fault.complaint), std::string::npos) << result.output;
}

INSTANTIATE_TEST_SUITE_P(LoaderFaults, CheckerFault, ::testing::ValuesIn(kFaults),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace marivane::module::test
