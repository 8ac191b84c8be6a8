// The VS_VERSIONINFO block of a VERSION resource (RT_VERSION 16, name 1), the record that
// GetFileVersionInfo hands out. On Vista the version strings of a file are read from its .mui,
// so a language module must carry a complete one.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/little_endian.h"

namespace marivane::module {

constexpr std::uint32_t kVersionFileOsNtWindows32 = 0x00040004;  // VOS_NT_WINDOWS32
constexpr std::uint32_t kVersionFileTypeDll = 2;                 // VFT_DLL
constexpr std::uint32_t kVersionFlagsMask = 0x3F;                // every VS_FF_* flag defined
constexpr std::uint16_t kCodePageUnicode = 1200;                 // the strings are UTF-16

struct TVersionInfo {
  std::array<std::uint16_t, 4> file_version{};  // major, minor, build, revision
  std::array<std::uint16_t, 4> product_version{};
  std::uint32_t file_flags = 0;
  std::uint32_t file_os = kVersionFileOsNtWindows32;
  std::uint32_t file_type = kVersionFileTypeDll;
  std::uint32_t file_subtype = 0;
  std::uint64_t file_date = 0;
  // One string table and one translation, as resource compilers write for a single language.
  std::uint16_t language = 0x0409;
  std::uint16_t code_page = kCodePageUnicode;
  // Key/value pairs in the order they are to appear; ASCII only.
  std::vector<std::pair<std::string, std::string>> strings;
};

// Raises std::invalid_argument for non-ASCII text and std::length_error when a node would
// exceed the 16-bit length field.
TBytes BuildVersionInfo(const TVersionInfo& info);

using TVersionNumber = std::array<std::uint16_t, 4>;  // major, minor, build, revision

// What a version resource says of the file it belongs to: VS_FIXEDFILEINFO's versions and
// VarFileInfo's first translation.
struct TFixedVersion {
  TVersionNumber file_version{};
  TVersionNumber product_version{};
  struct TTranslation {
    std::uint16_t language = 0;
    std::uint16_t code_page = 0;
    friend bool operator==(const TTranslation&, const TTranslation&) = default;
  };
  std::optional<TTranslation> translation;  // absent without VarFileInfo\Translation
};

// Reads the data of a VERSION 1 resource. Raises EModuleError when the root node runs past
// the resource or has no VS_FIXEDFILEINFO with its signature, or when a node is shorter than
// its own header, has no terminated key or runs past its parent.
TFixedVersion ReadVersionInfo(std::span<const std::uint8_t> resource);

// "6.0.6000.16386"
std::string VersionText(const TVersionNumber& version);

}  // namespace marivane::module
