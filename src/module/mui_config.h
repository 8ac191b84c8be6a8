// The resource configuration of a MUI file: resource type "MUI", name 1. It tells the loader
// what kind of file this is (language-neutral or language-specific), which resource types it
// holds and, in a language-specific file, its language. Recent ntdll checks its structure and
// refuses the file otherwise; Wine does not look at it at all.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/little_endian.h"

namespace marivane::module {

// dwFileType: low nibble 1 = language-neutral main file, 2 = language-specific .mui; high
// nibble 0x10 = system file, 0x20 = application file. The loader wants exactly one of each.
constexpr std::uint32_t kMuiFileTypeLanguageNeutral = 0x01;
constexpr std::uint32_t kMuiFileTypeLanguageSpecific = 0x02;
constexpr std::uint32_t kMuiFileTypeSystemLanguageNeutral = 0x11;  // winload.exe's
constexpr std::uint32_t kMuiFileTypeSystemLanguageSpecific = 0x12;
// dwSystemAttributes as Microsoft's own dump shows it for system files.
constexpr std::uint32_t kMuiSystemAttributes = 0x100;

struct TMuiConfig {
  std::uint32_t file_type = kMuiFileTypeSystemLanguageSpecific;
  std::uint32_t system_attributes = kMuiSystemAttributes;
  std::uint32_t ultimate_fallback_location =
      0;  // 1 internal / 2 external; language-neutral files only
  // The language-neutral file and its .mui must carry the same values; the loader compares
  // them byte for byte and does not recompute them.
  std::array<std::uint8_t, 16> service_checksum{};
  std::array<std::uint8_t, 16> checksum{};
  // Resource types in this file: named ones (ASCII) and numeric ones.
  std::vector<std::string> main_name_types;
  std::vector<std::uint32_t> main_id_types;
  // Language-neutral files only: the types that live in the .mui files.
  std::vector<std::string> mui_name_types;
  std::vector<std::uint32_t> mui_id_types;
  std::string language;                    // .mui only, e.g. "en-US"
  std::string ultimate_fallback_language;  // language-neutral files only

  friend bool operator==(const TMuiConfig&, const TMuiConfig&) = default;
};

// Raises std::invalid_argument for non-ASCII text.
TBytes BuildMuiConfig(const TMuiConfig& config);

// Reads the data of a "MUI" 1 resource with the checks the loader makes before it takes a
// configuration: the 0x84-byte header is there, the signature, dwLength equal to the
// resource's size, version 1.0, every offset/length pair inside dwLength, the file path type
// 0 or one of 1, 2, 4, the file type exactly one of language-neutral and language-specific and
// one of system and application with no other bits, and for a language-neutral file an
// ultimate fallback location of 1 or 2 and system attributes of 0 or 0x100. The first check
// that fails raises EModuleError naming the field and its value: "the MUI configuration's
// length (0xB8) differs from its resource's size (0xB0)". So does text that is not printable
// ASCII. The file path type and the unused file name and path blocks are checked, not kept.
TMuiConfig ReadMuiConfig(std::span<const std::uint8_t> resource);

}  // namespace marivane::module
