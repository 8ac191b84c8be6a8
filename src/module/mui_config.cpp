#include "module/mui_config.h"

#include <algorithm>
#include <stdexcept>

namespace marivane::module {

namespace {

#pragma pack(push, 1)
struct OffsetLengthDisk {
  std::uint32_t offset;  // from the start of the block; 0 with length 0 when absent
  std::uint32_t length;  // in bytes, without the padding that follows
};
static_assert(sizeof(OffsetLengthDisk) == 8);

struct MuiConfigHeaderDisk {
  std::uint32_t signature;                      // +0x00
  std::uint32_t length;                         // +0x04: the whole block; must equal the resource size
  std::uint32_t version;                        // +0x08
  std::uint32_t path_type;                      // +0x0C
  std::uint32_t file_type;                      // +0x10
  std::uint32_t system_attributes;              // +0x14
  std::uint32_t ultimate_fallback_location;     // +0x18
  std::uint8_t service_checksum[16];            // +0x1C
  std::uint8_t checksum[16];                    // +0x2C
  std::uint32_t reserved[2];                    // +0x3C
  OffsetLengthDisk mui_file_name;               // +0x44: unused by every writer we know
  OffsetLengthDisk mui_file_path;               // +0x4C: likewise
  OffsetLengthDisk main_name_types;             // +0x54
  OffsetLengthDisk main_id_types;               // +0x5C
  OffsetLengthDisk mui_name_types;              // +0x64
  OffsetLengthDisk mui_id_types;                // +0x6C
  OffsetLengthDisk language;                    // +0x74
  OffsetLengthDisk ultimate_fallback_language;  // +0x7C
};
#pragma pack(pop)
static_assert(sizeof(MuiConfigHeaderDisk) == 0x84);

constexpr std::uint32_t kMuiConfigSignature = 0xFECDFECD;
constexpr std::uint32_t kMuiConfigVersion = 0x00010000;  // the only version the loader accepts
// Variable data starts on an 8-byte boundary after the header, and every block is padded to 8.
// Microsoft's sample dumps (0xC8 for a .mui, 0x148 for its main file) come out only this way.
constexpr std::size_t kBlockAlignment = 8;
// A name list ends with an empty name and two more NULs: three NUL characters after the last
// name's own terminator.
constexpr std::size_t kNameListTrailingNuls = 3;

void AppendAscii(TBytes& out, const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) > 0x7F)
      throw std::invalid_argument("MUI text must be ASCII: " + text);
    AppendU16(out, static_cast<std::uint16_t>(c));
  }
  AppendU16(out, 0);
}

// Appends one block, records where it went, pads to the next block boundary.
OffsetLengthDisk AppendBlock(TBytes& out, const TBytes& block) {
  if (block.empty()) return {0, 0};
  const OffsetLengthDisk where{static_cast<std::uint32_t>(out.size()),
                            static_cast<std::uint32_t>(block.size())};
  out.insert(out.end(), block.begin(), block.end());
  PadTo(out, kBlockAlignment);
  return where;
}

TBytes NameList(const std::vector<std::string>& names) {
  TBytes block;
  if (names.empty()) return block;
  for (const std::string& name : names) AppendAscii(block, name);
  for (std::size_t i = 0; i < kNameListTrailingNuls; ++i) AppendU16(block, 0);
  return block;
}

TBytes IdList(const std::vector<std::uint32_t>& ids) {
  TBytes block;
  for (std::uint32_t id : ids) AppendU32(block, id);  // DWORDs, though resource IDs are WORDs
  return block;
}

TBytes Text(const std::string& text) {
  TBytes block;
  if (!text.empty()) AppendAscii(block, text);
  return block;
}

}  // namespace

TBytes BuildMuiConfig(const TMuiConfig& config) {
  MuiConfigHeaderDisk header{};
  header.signature = kMuiConfigSignature;
  header.version = kMuiConfigVersion;
  header.file_type = config.file_type;
  header.system_attributes = config.system_attributes;
  header.ultimate_fallback_location = config.ultimate_fallback_location;
  std::copy(config.service_checksum.begin(), config.service_checksum.end(),
            header.service_checksum);
  std::copy(config.checksum.begin(), config.checksum.end(), header.checksum);

  // The header, then the blocks from the next block boundary on.
  TBytes out(AlignUp(sizeof(MuiConfigHeaderDisk), kBlockAlignment), 0);
  header.main_name_types = AppendBlock(out, NameList(config.main_name_types));
  header.main_id_types = AppendBlock(out, IdList(config.main_id_types));
  header.mui_name_types = AppendBlock(out, NameList(config.mui_name_types));
  header.mui_id_types = AppendBlock(out, IdList(config.mui_id_types));
  header.language = AppendBlock(out, Text(config.language));
  header.ultimate_fallback_language = AppendBlock(out, Text(config.ultimate_fallback_language));
  header.length = static_cast<std::uint32_t>(out.size());
  PutStruct(out, 0, header);
  return out;
}

}  // namespace marivane::module
