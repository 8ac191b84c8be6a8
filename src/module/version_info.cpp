#include "module/version_info.h"

#include <cstdio>
#include <stdexcept>

namespace marivane::module {

namespace {

#pragma pack(push, 1)
struct FixedFileInfoDisk {
  std::uint32_t signature;
  std::uint32_t struct_version;
  std::uint32_t file_version_ms;
  std::uint32_t file_version_ls;
  std::uint32_t product_version_ms;
  std::uint32_t product_version_ls;
  std::uint32_t file_flags_mask;
  std::uint32_t file_flags;
  std::uint32_t file_os;
  std::uint32_t file_type;
  std::uint32_t file_subtype;
  std::uint32_t file_date_ms;
  std::uint32_t file_date_ls;
};
#pragma pack(pop)
static_assert(sizeof(FixedFileInfoDisk) == 52);

constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::uint32_t kFixedInfoVersion = 0x00010000;  // structure version 1.0
// wType of a node: 1 when its value is text, 0 when binary.
constexpr std::uint16_t kBinaryNode = 0;
constexpr std::uint16_t kTextNode = 1;
// wLength, wValueLength and wType, the three WORDs in front of every node's key.
constexpr std::size_t kNodeHeaderSize = 6;

std::u16string Widen(const std::string& text) {
  std::u16string wide;
  for (char c : text) {
    if (static_cast<unsigned char>(c) > 0x7F) {
      throw std::invalid_argument("version text must be ASCII: " + text);
    }
    wide.push_back(static_cast<char16_t>(c));
  }
  return wide;
}

void AppendText(TBytes& out, const std::u16string& text) {
  for (char16_t c : text) AppendU16(out, c);
  AppendU16(out, 0);
}

// Every node is wLength, wValueLength, wType, a NUL-terminated key, padding to a DWORD, the
// value, then its children, each starting on a DWORD boundary. wLength covers the node up to
// the end of its last child but not any padding after it; a parent's wLength does count the
// padding in front of each child. All alignment is relative to the start of the resource,
// which the nodes' own 4-byte alignment preserves.
struct TNode {
  std::u16string key;
  std::uint16_t type = kBinaryNode;
  TBytes value;
  std::uint16_t value_length = 0;  // in bytes for binary values, in WORDs for text
  std::vector<TNode> children;
};

TBytes Serialize(const TNode& node) {
  TBytes out(kNodeHeaderSize, 0);  // +0 wLength, patched below
  PutU16(out, 2, node.value_length);
  PutU16(out, 4, node.type);
  AppendText(out, node.key);
  PadTo(out, 4);
  out.insert(out.end(), node.value.begin(), node.value.end());
  for (const TNode& child : node.children) {
    PadTo(out, 4);
    const TBytes bytes = Serialize(child);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  if (out.size() > 0xFFFF) throw std::length_error("version resource node exceeds 64 KiB");
  PutU16(out, 0, static_cast<std::uint16_t>(out.size()));
  return out;
}

TNode TextNode(const std::string& key, const std::string& value) {
  TNode node{Widen(key), kTextNode, {}, 0, {}};
  const std::u16string wide = Widen(value);
  AppendText(node.value, wide);
  node.value_length = static_cast<std::uint16_t>(wide.size() + 1);  // WORDs, NUL included
  return node;
}

std::uint32_t High(const std::array<std::uint16_t, 4>& v) {
  return std::uint32_t{v[0]} << 16 | v[1];
}
std::uint32_t Low(const std::array<std::uint16_t, 4>& v) {
  return std::uint32_t{v[2]} << 16 | v[3];
}

}  // namespace

TBytes BuildVersionInfo(const TVersionInfo& info) {
  FixedFileInfoDisk fixed{};
  fixed.signature = kFixedInfoSignature;
  fixed.struct_version = kFixedInfoVersion;
  fixed.file_version_ms = High(info.file_version);
  fixed.file_version_ls = Low(info.file_version);
  fixed.product_version_ms = High(info.product_version);
  fixed.product_version_ls = Low(info.product_version);
  fixed.file_flags_mask = kVersionFlagsMask;
  fixed.file_flags = info.file_flags;
  fixed.file_os = info.file_os;
  fixed.file_type = info.file_type;
  fixed.file_subtype = info.file_subtype;
  fixed.file_date_ms = static_cast<std::uint32_t>(info.file_date >> 32);
  fixed.file_date_ls = static_cast<std::uint32_t>(info.file_date);

  TNode root{u"VS_VERSION_INFO", kBinaryNode, {}, sizeof(FixedFileInfoDisk), {}};
  AppendStruct(root.value, fixed);

  // The string table is keyed by language and code page as 8 upper-case hex digits: 040904B0.
  char table_key[9];
  std::snprintf(table_key, sizeof(table_key), "%04X%04X", info.language, info.code_page);
  TNode table{Widen(table_key), kTextNode, {}, 0, {}};
  for (const auto& [key, value] : info.strings) table.children.push_back(TextNode(key, value));
  root.children.push_back(TNode{u"StringFileInfo", kTextNode, {}, 0, {std::move(table)}});

  // Translation: language in the low word, code page in the high word; its length is in bytes.
  TNode translation{u"Translation", kBinaryNode, {}, 4, {}};
  AppendU16(translation.value, info.language);
  AppendU16(translation.value, info.code_page);
  root.children.push_back(TNode{u"VarFileInfo", kTextNode, {}, 0, {std::move(translation)}});

  return Serialize(root);
}

}  // namespace marivane::module
