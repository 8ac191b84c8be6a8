#include "module/mui_config.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>

#include "base/byte_reader.h"
#include "base/hex_text.h"
#include "module/resource_reader.h"

namespace marivane::module {

namespace {

#pragma pack(push, 1)
struct TOffsetLengthDisk {
  std::uint32_t offset;  // from the start of the block; 0 with length 0 when absent
  std::uint32_t length;  // in bytes, without the padding that follows
};
static_assert(sizeof(TOffsetLengthDisk) == 8);

struct TMuiConfigHeaderDisk {
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
  TOffsetLengthDisk mui_file_name;              // +0x44: unused by every writer we know
  TOffsetLengthDisk mui_file_path;              // +0x4C: likewise
  TOffsetLengthDisk main_name_types;            // +0x54
  TOffsetLengthDisk main_id_types;              // +0x5C
  TOffsetLengthDisk mui_name_types;             // +0x64
  TOffsetLengthDisk mui_id_types;               // +0x6C
  TOffsetLengthDisk language;                   // +0x74
  TOffsetLengthDisk ultimate_fallback_language; // +0x7C
};
#pragma pack(pop)
static_assert(sizeof(TMuiConfigHeaderDisk) == 0x84);

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
TOffsetLengthDisk AppendBlock(TBytes& out, const TBytes& block) {
  if (block.empty()) return {0, 0};
  const TOffsetLengthDisk where{static_cast<std::uint32_t>(out.size()),
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

// --- Reading ---

// The eight offset/length pairs from +0x44 on, in header order, by the names the reader's
// texts use.
struct TBlockField {
  std::size_t offset;
  const char* name;
};
constexpr TBlockField kBlocks[] = {
    {offsetof(TMuiConfigHeaderDisk, mui_file_name), "MUI file name"},
    {offsetof(TMuiConfigHeaderDisk, mui_file_path), "MUI file path"},
    {offsetof(TMuiConfigHeaderDisk, main_name_types), "main name types"},
    {offsetof(TMuiConfigHeaderDisk, main_id_types), "main ID types"},
    {offsetof(TMuiConfigHeaderDisk, mui_name_types), "MUI name types"},
    {offsetof(TMuiConfigHeaderDisk, mui_id_types), "MUI ID types"},
    {offsetof(TMuiConfigHeaderDisk, language), "language"},
    {offsetof(TMuiConfigHeaderDisk, ultimate_fallback_language), "ultimate fallback language"},
};
static_assert(sizeof(kBlocks) / sizeof(kBlocks[0]) * sizeof(TOffsetLengthDisk) ==
              sizeof(TMuiConfigHeaderDisk) - offsetof(TMuiConfigHeaderDisk, mui_file_name));

// dwFilePathType: 0, or one of these bits alone.
constexpr std::uint32_t kPathTypeBits = 0x7;
// dwFileType: one bit of each group and nothing else.
constexpr std::uint32_t kFileTypeRoleBits =
    kMuiFileTypeLanguageNeutral | kMuiFileTypeLanguageSpecific;
constexpr std::uint32_t kFileTypeOwnerBits = 0x30;  // 0x10 system, 0x20 application
// dwUltimateFallbackLocation of a language-neutral file: 1 internal or 2 external.
constexpr std::uint32_t kFallbackLocationBits = 0x3;

bool OneBitOf(std::uint32_t value, std::uint32_t bits) {
  return (value & ~bits) == 0 && value != 0 && (value & (value - 1)) == 0;
}

[[noreturn]] void Refuse(const std::string& what) {
  throw EModuleError("the MUI configuration's " + what);
}

// The header reads below stay inside the 0x84 bytes checked first; this only guards the
// blocks, whose pairs have been checked against dwLength, itself the resource's size.
[[noreturn]] void ShortRead(const char* what, std::uint64_t offset) {
  throw EModuleError(std::string("the MUI configuration ends inside its ") + what + " (at " +
                     HexNumber(offset) + ")");
}

class TMuiConfigReader {
 public:
  explicit TMuiConfigReader(std::span<const std::uint8_t> resource)
      : data_(resource, ShortRead) {}

  TMuiConfig Read() {
    CheckStructure();
    TMuiConfig config;
    config.file_type = Field(offsetof(TMuiConfigHeaderDisk, file_type));
    config.system_attributes = Field(offsetof(TMuiConfigHeaderDisk, system_attributes));
    config.ultimate_fallback_location =
        Field(offsetof(TMuiConfigHeaderDisk, ultimate_fallback_location));
    Checksum(offsetof(TMuiConfigHeaderDisk, service_checksum), config.service_checksum);
    Checksum(offsetof(TMuiConfigHeaderDisk, checksum), config.checksum);
    config.main_name_types = Names(kBlocks[2]);
    config.main_id_types = Ids(kBlocks[3]);
    config.mui_name_types = Names(kBlocks[4]);
    config.mui_id_types = Ids(kBlocks[5]);
    config.language = First(Names(kBlocks[6]));
    config.ultimate_fallback_language = First(Names(kBlocks[7]));
    return config;
  }

 private:
  std::uint32_t Field(std::size_t offset) const { return data_.U32(offset, "header"); }

  // In the order that lets each text say the most: a block that is not one at all first, then
  // what the loader compares, then the flags.
  void CheckStructure() const {
    if (data_.Size() < sizeof(TMuiConfigHeaderDisk))
      throw EModuleError("the MUI configuration is " + HexNumber(data_.Size()) +
                         " bytes, too short for its " + HexNumber(sizeof(TMuiConfigHeaderDisk)) +
                         "-byte header");
    const std::uint32_t signature = Field(offsetof(TMuiConfigHeaderDisk, signature));
    if (signature != kMuiConfigSignature)
      Refuse("signature is " + HexNumber(signature) + ", not " + HexNumber(kMuiConfigSignature));
    const std::uint32_t length = Field(offsetof(TMuiConfigHeaderDisk, length));
    if (length != data_.Size())
      Refuse("length (" + HexNumber(length) + ") differs from its resource's size (" +
             HexNumber(data_.Size()) + ")");
    const std::uint32_t version = Field(offsetof(TMuiConfigHeaderDisk, version));
    if (version != kMuiConfigVersion)
      Refuse("version is " + HexNumber(version) + ", not " + HexNumber(kMuiConfigVersion));
    for (const TBlockField& block : kBlocks) {
      // 64-bit sum of two 32-bit fields: a pair that wraps in 32 bits lands past dwLength.
      const std::uint64_t end = std::uint64_t{Field(block.offset)} + Field(block.offset + 4);
      if (end > length)
        Refuse(std::string(block.name) + " block (offset " + HexNumber(Field(block.offset)) + ", " +
               HexNumber(Field(block.offset + 4)) + " bytes) runs past its length (" +
               HexNumber(length) + ")");
    }
    const std::uint32_t path_type = Field(offsetof(TMuiConfigHeaderDisk, path_type));
    if (path_type != 0 && !OneBitOf(path_type, kPathTypeBits))
      Refuse("file path type " + HexNumber(path_type) + " is not 0, 1, 2 or 4");
    const std::uint32_t file_type = Field(offsetof(TMuiConfigHeaderDisk, file_type));
    if ((file_type & ~(kFileTypeRoleBits | kFileTypeOwnerBits)) != 0)
      Refuse("file type " + HexNumber(file_type) + " has bits outside 0x33");
    if (!OneBitOf(file_type & kFileTypeRoleBits, kFileTypeRoleBits))
      Refuse("file type " + HexNumber(file_type) +
             " is not exactly one of language-neutral (0x1) and language-specific (0x2)");
    if (!OneBitOf(file_type & kFileTypeOwnerBits, kFileTypeOwnerBits))
      Refuse("file type " + HexNumber(file_type) +
             " is not exactly one of system (0x10) and application (0x20)");
    if (!(file_type & kMuiFileTypeLanguageNeutral)) return;
    const std::uint32_t location = Field(offsetof(TMuiConfigHeaderDisk, ultimate_fallback_location));
    if (!OneBitOf(location, kFallbackLocationBits))
      Refuse("ultimate fallback location is " + HexNumber(location) +
             ", not 1 (internal) or 2 (external), as a language-neutral file's must be");
    const std::uint32_t attributes = Field(offsetof(TMuiConfigHeaderDisk, system_attributes));
    if (attributes != 0 && attributes != kMuiSystemAttributes)
      Refuse("system attributes are " + HexNumber(attributes) + ", not 0 or " +
             HexNumber(kMuiSystemAttributes) + ", as a language-neutral file's must be");
  }

  void Checksum(std::size_t offset, std::array<std::uint8_t, 16>& out) const {
    const auto bytes = data_.Bytes(offset, out.size(), "header");
    std::copy(bytes.begin(), bytes.end(), out.begin());
  }

  // A list of NUL-terminated UTF-16 names ending in empty ones (a single language name reads
  // the same way). An odd last byte is no character and is left alone.
  std::vector<std::string> Names(const TBlockField& block) const {
    const std::uint32_t offset = Field(block.offset);
    const std::uint32_t length = Field(block.offset + 4);
    std::vector<std::string> names;
    std::string name;
    for (std::uint64_t at = offset; at + 2 <= std::uint64_t{offset} + length; at += 2) {
      const std::uint16_t unit = data_.U16(at, block.name);
      if (unit == 0) {
        if (!name.empty()) names.push_back(std::move(name));
        name.clear();
      } else if (unit < 0x20 || unit > 0x7E) {
        Refuse(std::string(block.name) +
               " block holds a character that is not printable ASCII (at " + HexNumber(at) + ")");
      } else {
        name.push_back(static_cast<char>(unit));
      }
    }
    if (!name.empty()) names.push_back(std::move(name));  // no terminator within the length
    return names;
  }

  std::vector<std::uint32_t> Ids(const TBlockField& block) const {
    const std::uint32_t offset = Field(block.offset);
    const std::uint32_t count = Field(block.offset + 4) / 4;
    std::vector<std::uint32_t> ids;
    for (std::uint32_t i = 0; i < count; ++i)
      ids.push_back(data_.U32(std::uint64_t{offset} + 4ull * i, block.name));
    return ids;
  }

  static std::string First(const std::vector<std::string>& names) {
    return names.empty() ? std::string() : names.front();
  }

  TByteReader data_;
};

}  // namespace

TMuiConfig ReadMuiConfig(std::span<const std::uint8_t> resource) {
  return TMuiConfigReader(resource).Read();
}

TBytes BuildMuiConfig(const TMuiConfig& config) {
  TMuiConfigHeaderDisk header{};
  header.signature = kMuiConfigSignature;
  header.version = kMuiConfigVersion;
  header.file_type = config.file_type;
  header.system_attributes = config.system_attributes;
  header.ultimate_fallback_location = config.ultimate_fallback_location;
  std::copy(config.service_checksum.begin(), config.service_checksum.end(),
            header.service_checksum);
  std::copy(config.checksum.begin(), config.checksum.end(), header.checksum);

  // The header, then the blocks from the next block boundary on.
  TBytes out(AlignUp(sizeof(TMuiConfigHeaderDisk), kBlockAlignment), 0);
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
