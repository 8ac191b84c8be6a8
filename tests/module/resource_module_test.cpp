#include "module/resource_module.h"

#include <gtest/gtest.h>

#include <string>

#include "base/byte_reader.h"
#include "module/mui_config.h"
#include "module/version_info.h"
#include "module_test_support.h"

namespace marivane::module::test {
namespace {

TSlotModule Build(const std::vector<TResource>& after_slot) {
  return BuildSlotModule(TSlotResource{}, after_slot, TModuleStamp{});
}

TEST(ResourceKey, StoresNamesUpperCaseAndRefusesWhatTheLoaderCannotFind) {
  EXPECT_EQ(TResourceKey::Named("mui"), TResourceKey::Named("MUI"));
  EXPECT_EQ(TResourceKey::Named("Typelib").name(), u"TYPELIB");
  for (const std::string& bad :
       {std::string(), std::string(256, 'A'), std::string("T\xC3\xA9"), std::string("A\tB")}) {
    EXPECT_THROW(TResourceKey::Named(bad), std::invalid_argument) << bad;
  }
}

TEST(SlotModule, RefusesDuplicatesAndClashesWithTheSlot) {
  const TResource version{16, 1, 0x0409, TBytes(4)};
  const std::vector<std::vector<TResource>> cases = {
      {version, version},
      {TResource{10, 1, 0x0409, TBytes(4)}},
      {TResource{TResourceKey::Named("mui"), 1, 0x0409, {}},
       TResource{TResourceKey::Named("MUI"), 1, 0x0409, {}}},
  };
  for (const auto& resources : cases) EXPECT_THROW(Build(resources), std::invalid_argument);
  // Same type and name in another language is a different resource.
  EXPECT_NO_THROW(Build({TResource{10, 1, 0x0407, TBytes(4)}}));
}

// One resource with a named type of `length` characters next to the slot resource. The tables
// and the one extra data entry fill section offsets 0..144; the name string (2 + 2 * length
// bytes) goes into the gap up to the fixed data entry at 312 if it fits, else after it (328).
// The slot starts at section offset 596 (file offset 1108, the section at 512).
TEST(SlotModule, PlacesTheDirectoryAroundTheFixedEntryOrSaysHowMuchItNeeds) {
  struct Case {
    std::size_t length;
    std::uint32_t needed;  // section-relative end of the directory
  };
  const Case cases[] = {{83, 312}, {84, 498}, {133, 596}, {134, 598}, {255, 840}};
  for (const Case& c : cases) {
    const std::vector<TResource> one{
        {TResourceKey::Named(std::string(c.length, 'N')), 1, 0x0409, TBytes(4)}};
    if (c.needed <= 596) {
      EXPECT_EQ(Build(one).directory_end, 512 + c.needed) << c.length;
    } else {
      try {
        Build(one);
        ADD_FAILURE() << c.length << " characters should not fit";
      } catch (const EDirectoryOverflow& overflow) {
        EXPECT_EQ(overflow.needed(), c.needed) << c.length;
        EXPECT_EQ(overflow.available(), 596u);
      }
    }
  }
}

// Data after the slot starts 8-aligned in section terms; the file is padded to 512 and the
// image to 4096. Numbers worked out by hand: the slot's data entry is at file offset 824, the
// slot at 1108 (section offset 596, RVA 0x1254) and it ends at section offset 3,800,004; the
// template leaves the slot's 3,799,408 bytes out.
TEST(SlotModule, LaysOutDataAfterTheSlotAndSizesTheFinishedFile) {
  const TSlotModule module =
      Build({{16, 1, 0x0409, TBytes{1, 2, 3}}, {11, 1, 0x0409, TBytes{4, 5, 6, 7, 8}}});
  ASSERT_EQ(module.resources.size(), 3u);
  EXPECT_EQ(module.resources[0].data_entry_offset, 824u);
  EXPECT_EQ(module.resources[0].data_rva, 0x1254u);
  EXPECT_EQ(module.resources[1].data_offset, 512u + 3'800'008);
  EXPECT_EQ(module.resources[2].data_offset, 512u + 3'800'016);
  EXPECT_EQ(module.section_virtual_size, 3'800'021u);
  EXPECT_EQ(module.finished_size, 512u + 3'800'064);
  EXPECT_EQ(module.template_bytes.size(), 1168u);
  EXPECT_EQ(module.size_of_image, 0x1000u + 3'801'088);
  const auto data = module.template_bytes.begin() + 1120;  // 512 + 3,800,016 - 3,799,408
  EXPECT_EQ(TBytes(data, data + 5), (TBytes{4, 5, 6, 7, 8}));
}

// --- VS_VERSIONINFO ---

struct VersionNodeRow {
  std::size_t offset;
  std::uint16_t length, value_length, type;
  std::u16string key;
  bool operator==(const VersionNodeRow&) const = default;
};

// An independent walk: records each node and returns where it ends; children start on DWORD
// boundaries after the parent's value, up to the parent's length.
std::size_t WalkVersionNodes(const TBytes& blob, std::size_t at, std::vector<VersionNodeRow>& rows) {
  const TByteReader bytes(blob);
  VersionNodeRow row{at, bytes.U16(at), bytes.U16(at + 2), bytes.U16(at + 4), {}};
  std::size_t cursor = at + 6;
  for (; bytes.U16(cursor) != 0; cursor += 2) row.key.push_back(bytes.U16(cursor));
  cursor = AlignUp(cursor + 2, 4) + (row.type == 1 ? 2u * row.value_length : row.value_length);
  rows.push_back(row);
  while (AlignUp(cursor, 4) < at + row.length)
    cursor = WalkVersionNodes(blob, AlignUp(cursor, 4), rows);
  EXPECT_EQ(cursor, at + row.length) << "node at " << at;
  return at + row.length;
}

TEST(VersionInfo, NodeLengthsAndPaddingAsGetFileVersionInfoReadsThem) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> strings;
    std::vector<VersionNodeRow> expected;  // worked out by hand
  };
  const Case cases[] = {
      {{{"A", "B"}},
       {{0, 236, 52, 0, u"VS_VERSION_INFO"},
        {92, 76, 0, 1, u"StringFileInfo"},
        {128, 40, 0, 1, u"040904B0"},
        {152, 16, 2, 1, u"A"},
        {168, 68, 0, 1, u"VarFileInfo"},
        {200, 36, 4, 0, u"Translation"}}},
      // "BC" leaves 2 bytes of padding that the string's length leaves out and its parent counts.
      {{{"A", "BC"}, {"A", "B"}},
       {{0, 256, 52, 0, u"VS_VERSION_INFO"},
        {92, 96, 0, 1, u"StringFileInfo"},
        {128, 60, 0, 1, u"040904B0"},
        {152, 18, 3, 1, u"A"},
        {172, 16, 2, 1, u"A"},
        {188, 68, 0, 1, u"VarFileInfo"},
        {220, 36, 4, 0, u"Translation"}}},
  };
  for (const Case& c : cases) {
    TVersionInfo info;
    info.strings = c.strings;
    info.file_version = {6, 0, 6000, 16386};
    info.product_version = {6, 0, 6001, 18000};
    const TBytes blob = BuildVersionInfo(info);
    std::vector<VersionNodeRow> rows;
    WalkVersionNodes(blob, 0, rows);
    EXPECT_EQ(rows, c.expected);
    EXPECT_EQ(blob.size(), c.expected[0].length);
    // And our own reader takes back what it needs.
    const TFixedVersion read = ReadVersionInfo(blob);
    EXPECT_EQ(read.file_version, info.file_version);
    EXPECT_EQ(read.product_version, info.product_version);
    EXPECT_EQ(read.translation, (TFixedVersion::TTranslation{0x0409, kCodePageUnicode}));
  }
}

// --- MUI configuration ---

// Sizes from Microsoft's MUIRCT dump of shell32 (0xC8 for the .mui, 0x148 for the main file)
// only come out with 8-byte block padding and three NULs after a name list; the offsets are
// those a loader reads the language and type lists from. The reader gives back each one.
TEST(MuiConfig, PacksBlocksAsMicrosoftsOwnFiles) {
  TMuiConfig mui;
  mui.main_name_types = {"MUI"};
  mui.main_id_types = {2, 3, 4, 5, 6, 9, 14, 16};
  mui.language = "en-US";
  TMuiConfig neutral;
  neutral.file_type = 0x11;
  neutral.ultimate_fallback_location = 1;
  neutral.main_name_types = {"AVI", "FTR", "ORDERSTREAM", "TYPELIB", "UIFILE", "XML", "MUI"};
  neutral.main_id_types = {1, 2, 3, 12, 14, 16, 24};
  neutral.mui_name_types = {"MUI"};
  neutral.mui_id_types = mui.main_id_types;
  neutral.ultimate_fallback_language = "en-US";
  TMuiConfig ours;
  ours.main_name_types = {"MUI"};
  ours.main_id_types = {10, 16};
  ours.language = "en-US";

  struct Case {
    const TMuiConfig* config;
    std::uint32_t length;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;  // offset/length at 0x54..0x80
  };
  const Case cases[] = {
      {&mui, 0xC8, {{0x88, 14}, {0x98, 32}, {0, 0}, {0, 0}, {0xB8, 12}, {0, 0}}},
      {&neutral, 0x148, {{0x88, 92}, {0xE8, 28}, {0x108, 14}, {0x118, 32}, {0, 0}, {0x138, 12}}},
      {&ours, 0xB0, {{0x88, 14}, {0x98, 8}, {0, 0}, {0, 0}, {0xA0, 12}, {0, 0}}},
  };
  for (const Case& c : cases) {
    const TBytes blob = BuildMuiConfig(*c.config);
    EXPECT_EQ(blob.size(), c.length);
    const TByteReader bytes(blob);
    EXPECT_EQ(bytes.U32(0), 0xFECDFECDu);
    EXPECT_EQ(bytes.U32(4), c.length);
    EXPECT_EQ(bytes.U32(0x10), c.config->file_type);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    for (std::size_t at = 0x54; at < 0x84; at += 8)
      pairs.push_back({bytes.U32(at), bytes.U32(at + 4)});
    EXPECT_EQ(pairs, c.pairs);
    EXPECT_EQ(ReadMuiConfig(blob), *c.config);
  }
}

}  // namespace
}  // namespace marivane::module::test
