// The resource configuration of a MUI file: resource type "MUI", name 1. It tells the loader
// what kind of file this is (language-neutral or language-specific), which resource types it
// holds and, in a language-specific file, its language. Recent ntdll checks its structure and
// refuses the file otherwise; Wine does not look at it at all.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/little_endian.h"

namespace marivane::module {

// dwFileType: low nibble 1 = language-neutral main file, 2 = language-specific .mui; high
// nibble 0x10 = system file, 0x20 = application file. The loader wants exactly one of each.
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
};

// Raises std::invalid_argument for non-ASCII text.
TBytes BuildMuiConfig(const TMuiConfig& config);

}  // namespace marivane::module
