#include "platform/windows_tree.h"

#include "base/errors.h"
#include "base/hex_text.h"

namespace marivane::platform {
namespace {

constexpr char kNoneText[] = "none";
constexpr char kSddlPrefix[] = "sddl:";
constexpr char kNtfsPrefix[] = "ntfs:";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string TKeptSecurity::Text() const {
  switch (kind) {
    case TKeptSecurityKind::Sddl:
      return kSddlPrefix + sddl;
    case TKeptSecurityKind::NtfsDescriptor:
      return kNtfsPrefix + HexString(descriptor);
    case TKeptSecurityKind::None:
      break;
  }
  return kNoneText;
}

TKeptSecurity TKeptSecurity::FromText(const std::string& text) {
  TKeptSecurity security;
  if (text == kNoneText) return security;
  if (text.starts_with(kSddlPrefix) && text.size() > sizeof kSddlPrefix - 1) {
    security.kind = TKeptSecurityKind::Sddl;
    security.sddl = text.substr(sizeof kSddlPrefix - 1);
    return security;
  }
  const std::string hex = text.starts_with(kNtfsPrefix) ? text.substr(sizeof kNtfsPrefix - 1) : "";
  if (hex.empty() || hex.size() % 2 != 0) throw Exception("a security line that cannot be read: " + text);
  security.kind = TKeptSecurityKind::NtfsDescriptor;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) throw Exception("a security line that cannot be read: " + text);
    security.descriptor.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return security;
}

}  // namespace marivane::platform
