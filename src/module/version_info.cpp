#include "module/version_info.h"

#include <cstddef>
#include <cstdio>
#include <stdexcept>

#include "base/byte_reader.h"
#include "base/hex_text.h"
#include "module/resource_reader.h"

namespace marivane::module {

namespace {

#pragma pack(push, 1)
struct TFixedFileInfoDisk {
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
static_assert(sizeof(TFixedFileInfoDisk) == 52);

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

// --- Reading ---

[[noreturn]] void ShortVersion(const char* what, std::uint64_t offset) {
  throw EModuleError(std::string("the version resource ends inside its ") + what + " (at " +
                     HexNumber(offset) + ")");
}

// One node as it lies in the resource: where it ends and where its value and its children
// begin.
struct TNodeView {
  std::uint64_t end = 0;
  std::u16string key;
  std::uint64_t value = 0;
  std::uint64_t value_size = 0;  // in bytes, whatever wType says the unit is
  std::uint64_t children = 0;
};

// Reads the node at `start`, which must end by `limit` (its parent's end). Every node is at
// least its 6-byte header long, so a walk over siblings always moves on.
TNodeView ReadNode(const TByteReader& data, std::uint64_t start, std::uint64_t limit) {
  TNodeView node;
  const std::uint16_t length = data.U16(start, "node header");
  const std::uint16_t value_length = data.U16(start + 2, "node header");
  const std::uint16_t type = data.U16(start + 4, "node header");
  if (length < kNodeHeaderSize || length > limit - start)
    throw EModuleError("the version resource's node at " + HexNumber(start) + " (" +
                       std::to_string(length) + " bytes) does not fit in its parent");
  node.end = start + length;
  std::uint64_t at = start + kNodeHeaderSize;
  for (;; at += 2) {
    if (at + 2 > node.end)
      throw EModuleError("the version resource's node at " + HexNumber(start) +
                         " has no terminated key");
    const std::uint16_t unit = data.U16(at, "node key");
    if (unit == 0) break;
    node.key.push_back(static_cast<char16_t>(unit));
  }
  node.value = AlignUp(at + 2, 4);
  node.value_size = type == kTextNode ? 2ull * value_length : value_length;
  node.children = AlignUp(node.value + node.value_size, 4);
  return node;
}

// Visits the nodes from `from` to the parent's end, each on a DWORD boundary. A zero length
// where a node would start is padding some writers count into the parent, not a node.
template <typename TVisit>
void ForEachChild(const TByteReader& data, std::uint64_t from, std::uint64_t parent_end,
                  TVisit visit) {
  for (std::uint64_t at = AlignUp(from, 4);
       at + kNodeHeaderSize <= parent_end && data.U16(at, "node header") != 0;) {
    const TNodeView child = ReadNode(data, at, parent_end);
    visit(child);
    at = AlignUp(child.end, 4);
  }
}

}  // namespace

TFixedVersion ReadVersionInfo(std::span<const std::uint8_t> resource) {
  const TByteReader data(resource, ShortVersion);
  const std::uint16_t root_length = data.U16(0, "root node");
  if (root_length > data.Size())
    throw EModuleError("the version resource's length (" + HexNumber(root_length) +
                       ") runs past its resource (" + HexNumber(data.Size()) + " bytes)");
  const TNodeView root = ReadNode(data, 0, root_length);
  // The root's value is binary whatever its wType says; its length is in bytes.
  if (root.key != u"VS_VERSION_INFO" || data.U16(2, "root node") < sizeof(TFixedFileInfoDisk) ||
      root.value + sizeof(TFixedFileInfoDisk) > root.end ||
      data.U32(root.value + offsetof(TFixedFileInfoDisk, signature), "fixed file info") !=
          kFixedInfoSignature)
    throw EModuleError("the version resource has no VS_FIXEDFILEINFO with its signature (" +
                       HexNumber(kFixedInfoSignature) + ")");

  const auto version = [&](std::size_t ms, std::size_t ls) {
    const std::uint32_t high = data.U32(root.value + ms, "fixed file info");
    const std::uint32_t low = data.U32(root.value + ls, "fixed file info");
    return TVersionNumber{static_cast<std::uint16_t>(high >> 16),
                          static_cast<std::uint16_t>(high),
                          static_cast<std::uint16_t>(low >> 16),
                          static_cast<std::uint16_t>(low)};
  };
  TFixedVersion fixed;
  fixed.file_version = version(offsetof(TFixedFileInfoDisk, file_version_ms),
                               offsetof(TFixedFileInfoDisk, file_version_ls));
  fixed.product_version = version(offsetof(TFixedFileInfoDisk, product_version_ms),
                                  offsetof(TFixedFileInfoDisk, product_version_ls));

  // The children are StringFileInfo and VarFileInfo in either order; only VarFileInfo's
  // Translation is read. Its value holds language in the low word, code page in the high.
  const std::uint64_t value_length = data.U16(2, "root node");
  ForEachChild(data, root.value + value_length, root.end, [&](const TNodeView& child) {
    if (child.key != u"VarFileInfo") return;
    ForEachChild(data, child.children, child.end, [&](const TNodeView& var) {
      if (var.key != u"Translation" || var.value_size < 4 || var.value + 4 > var.end ||
          fixed.translation)
        return;
      fixed.translation = TFixedVersion::TTranslation{data.U16(var.value, "translation"),
                                                      data.U16(var.value + 2, "translation")};
    });
  });
  return fixed;
}

std::string VersionText(const TVersionNumber& version) {
  return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
         std::to_string(version[2]) + "." + std::to_string(version[3]);
}

TBytes BuildVersionInfo(const TVersionInfo& info) {
  TFixedFileInfoDisk fixed{};
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

  TNode root{u"VS_VERSION_INFO", kBinaryNode, {}, sizeof(TFixedFileInfoDisk), {}};
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
