#include "module/resource_reader.h"

#include <algorithm>
#include <cstddef>
#include <set>
#include <tuple>

#include "base/byte_reader.h"
#include "base/hex_text.h"
#include "module/pe_format.h"

namespace marivane::module {

namespace {

// --- Header facts the reader relies on ---

// The loader itself refuses more sections than this.
constexpr std::uint16_t kMaxSections = 96;
// A directory table's offset field without the subtable bit.
constexpr std::uint32_t kOffsetMask = 0x7FFFFFFF;
constexpr int kLanguageLevel = 2;  // type (0), name (1), language (2)

// A read past the end of the file names the part it was after: "the file ends before its
// section table (at 0x1F8)".
[[noreturn]] void Truncated(const char* what, std::uint64_t offset) {
  throw EModuleError(std::string("the file ends before its ") + what + " (at " + HexNumber(offset) +
                     ")");
}

struct TSection {
  std::uint32_t rva;
  std::uint64_t file_offset;
  std::uint64_t usable;  // bytes that are both in the file and inside the mapped section
};

class TModuleReader {
 public:
  TModuleReader(std::span<const std::uint8_t> file, TModuleKind kind)
      : file_(file, Truncated), kind_(kind) {}

  TReadModule Read() {
    ReadHeaders();
    if (directory_rva_ != 0) WalkTable(0, 0, {});
    return std::move(module_);
  }

 private:
  // The file offset of [rva, rva + length), which must lie within one section's bytes in the
  // file. 64-bit sums: rva and length are both below 2^32, so nothing here can wrap.
  std::uint64_t Map(std::uint64_t rva, std::uint64_t length, const std::string& what) const {
    for (const TSection& section : sections_) {
      if (rva < section.rva) continue;
      const std::uint64_t into = rva - section.rva;
      if (into > section.usable || section.usable - into < length) continue;
      return section.file_offset + into;
    }
    throw EModuleError(what + " (RVA " + HexNumber(rva) + ", " + std::to_string(length) +
                       " bytes) lies outside the sections stored in the file");
  }

  // --- Headers ---

  void ReadHeaders() {
    if (file_.Size() < sizeof(TDosHeaderDisk) ||
        file_.U16(offsetof(TDosHeaderDisk, magic), "DOS header") != kDosMagic)
      throw EModuleError("not a module: no MZ header");
    const std::uint64_t pe = file_.U32(kPeHeaderOffsetField, "DOS header");
    if (file_.U32(pe, "PE header") != kPeSignature)
      throw EModuleError("not a PE module: no PE signature at " + HexNumber(pe));
    const std::uint64_t coff = pe + kCoffHeaderFromPeHeader;
    module_.machine = file_.U16(coff + offsetof(TCoffHeaderDisk, machine), "COFF header");
    const std::uint16_t section_count =
        file_.U16(coff + offsetof(TCoffHeaderDisk, number_of_sections), "COFF header");
    const std::uint16_t optional_size =
        file_.U16(coff + offsetof(TCoffHeaderDisk, optional_header_size), "COFF header");
    const std::uint16_t characteristics =
        file_.U16(coff + offsetof(TCoffHeaderDisk, characteristics), "COFF header");
    const std::uint64_t optional = pe + kOptionalHeaderFromPeHeader;
    if (file_.U16(optional, "optional header") != kPe32Magic)
      throw EModuleError("not a PE32 module (optional header magic is not 0x10B)");
    const bool resource_only = kind_ == TModuleKind::kResourceOnly;
    const std::uint16_t wanted =
        resource_only ? kCoffExecutableImage | kCoffDll : kCoffExecutableImage;
    if ((characteristics & wanted) != wanted)
      throw EModuleError(std::string(resource_only ? "not a DLL" : "not an executable") +
                         " image (COFF characteristics " + HexNumber(characteristics) + ")");
    if (resource_only &&
        file_.U32(optional + offsetof(TOptionalHeader32Disk, address_of_entry_point),
                  "optional header") != 0)
      throw EModuleError("not a resource-only module: it has an entry point");
    // The resource directory is the third data directory; the header must be long enough to
    // hold it and must say it has it. A program need not have one.
    constexpr std::size_t kResourceDirectory = offsetof(TOptionalHeader32Disk, data_directories) +
                                               kResourceDirectoryIndex * sizeof(TDataDirectoryDisk);
    if (optional_size < kResourceDirectory + sizeof(TDataDirectoryDisk) ||
        file_.U32(optional + offsetof(TOptionalHeader32Disk, number_of_rva_and_sizes),
                  "optional header") <= kResourceDirectoryIndex) {
      if (resource_only) throw EModuleError("the optional header has no resource directory entry");
    } else {
      const std::uint64_t directory = optional + kResourceDirectory;
      directory_rva_ = file_.U32(directory + offsetof(TDataDirectoryDisk, rva), "data directories");
      if (file_.U32(directory + offsetof(TDataDirectoryDisk, size), "data directories") == 0)
        directory_rva_ = 0;
    }
    if (resource_only && directory_rva_ == 0) throw EModuleError("the module holds no resources");

    if (section_count == 0 || section_count > kMaxSections)
      throw EModuleError("the module has " + std::to_string(section_count) + " sections");
    const std::uint64_t table = optional + optional_size;
    for (std::uint16_t i = 0; i < section_count; ++i) {
      const std::uint64_t at = table + std::uint64_t{i} * sizeof(TSectionHeaderDisk);
      const auto field = [&](std::size_t offset) {
        return file_.U32(at + offset, "section table");
      };
      const std::uint32_t virtual_size = field(offsetof(TSectionHeaderDisk, virtual_size));
      const std::uint32_t rva = field(offsetof(TSectionHeaderDisk, virtual_address));
      const std::uint32_t raw_size = field(offsetof(TSectionHeaderDisk, size_of_raw_data));
      const std::uint32_t raw_offset = field(offsetof(TSectionHeaderDisk, pointer_to_raw_data));
      const std::uint32_t flags = field(offsetof(TSectionHeaderDisk, characteristics));
      if (resource_only && (flags & (kSectionCode | kSectionExecute)))
        throw EModuleError("not a resource-only module: section " + std::to_string(i + 1) +
                           " holds code or is executable");
      // Bytes past VirtualSize are not mapped, bytes past the file do not exist.
      std::uint64_t usable = virtual_size != 0 ? std::min(virtual_size, raw_size) : raw_size;
      if (raw_offset > file_.Size()) usable = 0;
      else usable = std::min<std::uint64_t>(usable, file_.Size() - raw_offset);
      sections_.push_back({rva, raw_offset, usable});
    }
  }

  // --- The resource tree ---

  struct TPath {
    TResourceKey type;
    TResourceKey name;
  };

  TResourceKey ReadName(std::uint32_t field) {
    const std::uint64_t rva = directory_rva_ + (field & kOffsetMask);
    const std::uint64_t at = Map(rva, 2, "a resource name");
    const std::uint16_t length = file_.U16(at, "resource name");
    // Map the whole string, not just its length word: it must lie in the section as well.
    const std::uint64_t text = Map(rva + 2, 2ull * length, "a resource name");
    std::string name;
    for (std::uint16_t i = 0; i < length; ++i) {
      const std::uint16_t unit = file_.U16(text + 2ull * i, "resource name");
      if (unit < 0x20 || unit > 0x7E)
        throw EModuleError("resource name at " + HexNumber(at) + " is not printable ASCII");
      name.push_back(static_cast<char>(unit));
    }
    if (name.empty()) throw EModuleError("resource name at " + HexNumber(at) + " is empty");
    return TResourceKey::Named(name);  // at most 65535 characters; Named caps at 255
  }

  TResourceKey ReadKey(std::uint32_t field, int level) {
    if (field & kResourceHighBit) {
      if (level == kLanguageLevel) throw EModuleError("a language entry holds a name");
      try {
        return ReadName(field);
      } catch (const std::invalid_argument&) {
        throw EModuleError("a resource name is longer than 255 characters");
      }
    }
    if (field > 0xFFFF)
      throw EModuleError("a resource ID " + HexNumber(field) + " is wider than 16 bits");
    return static_cast<std::uint16_t>(field);
  }

  // Depth is fixed by `level`, so the recursion never goes deeper than three tables; a table
  // reached a second time would be a cycle or a shared subtree, so it is refused.
  void WalkTable(std::uint32_t offset, int level, const TPath& path) {
    if (!visited_tables_.insert(offset).second)
      throw EModuleError("the resource tree reaches the table at directory offset " +
                         HexNumber(offset) + " twice (a cycle or a shared table)");
    const std::uint64_t rva = directory_rva_ + offset;
    const std::uint64_t header = Map(rva, sizeof(TResourceDirectoryDisk), "a resource table");
    const std::uint32_t count =
        std::uint32_t{file_.U16(header + offsetof(TResourceDirectoryDisk, named_entries),
                                "resource table")} +
        file_.U16(header + offsetof(TResourceDirectoryDisk, id_entries), "resource table");
    entries_ += count;
    if (entries_ > kMaxResourceEntries)
      throw EModuleError("the resource tree has more than " + std::to_string(kMaxResourceEntries) +
                         " entries");
    const std::uint64_t table_size =
        sizeof(TResourceDirectoryDisk) + std::uint64_t{count} * sizeof(TResourceDirectoryEntryDisk);
    const std::uint64_t entries = Map(rva, table_size, "a resource table's entries");
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint64_t at = entries + sizeof(TResourceDirectoryDisk) +
                               std::uint64_t{i} * sizeof(TResourceDirectoryEntryDisk);
      const std::uint32_t name_or_id =
          file_.U32(at + offsetof(TResourceDirectoryEntryDisk, name_or_id), "resource entry");
      const TResourceKey key = ReadKey(name_or_id, level);
      const std::uint32_t target =
          file_.U32(at + offsetof(TResourceDirectoryEntryDisk, offset), "resource entry");
      const bool subtable = (target & kResourceHighBit) != 0;
      if (subtable != (level < kLanguageLevel))
        throw EModuleError(subtable ? "the resource tree is deeper than type/name/language"
                                   : "the resource tree ends before the language level");
      if (level == 0) {
        WalkTable(target & kOffsetMask, 1, {key, {}});
      } else if (level == 1) {
        WalkTable(target & kOffsetMask, 2, {path.type, key});
      } else {
        ReadLeaf(target, path, key.id());
      }
    }
  }

  void ReadLeaf(std::uint32_t offset, const TPath& path, std::uint16_t language) {
    const std::string what = "resource " + path.type.ToString() + "/" + path.name.ToString() +
                             "/" + std::to_string(language);
    if (!seen_.insert({path.type, path.name, language}).second)
      throw EModuleError(what + " appears twice in the resource tree");
    const std::uint64_t entry =
        Map(directory_rva_ + std::uint64_t{offset}, sizeof(TResourceDataEntryDisk),
            "the data entry of " + what);
    const auto field = [&](std::size_t at) {
      return file_.U32(entry + at, "resource data entry");
    };
    const std::uint32_t data_rva = field(offsetof(TResourceDataEntryDisk, data_rva));
    const std::uint32_t size = field(offsetof(TResourceDataEntryDisk, size));
    const std::uint32_t code_page = field(offsetof(TResourceDataEntryDisk, code_page));
    // Checked before the copy: entries may share data, so the sum can exceed the file.
    data_bytes_ += size;
    if (data_bytes_ > kMaxResourceBytes)
      throw EModuleError("the resources hold more than " + std::to_string(kMaxResourceBytes) +
                         " bytes in all");
    const std::uint64_t data = Map(data_rva, size, "the data of " + what);
    const std::span<const std::uint8_t> bytes = file_.Bytes(data, size, "resource data");
    module_.resources.push_back(
        {{path.type, path.name, language, {bytes.begin(), bytes.end()}, code_page},
         {entry, data_rva, data, size}});
  }

  TByteReader file_;
  TModuleKind kind_;
  std::vector<TSection> sections_;
  std::uint64_t directory_rva_ = 0;
  std::set<std::uint32_t> visited_tables_;
  std::set<std::tuple<TResourceKey, TResourceKey, std::uint16_t>> seen_;
  std::uint64_t entries_ = 0;
  std::uint64_t data_bytes_ = 0;
  TReadModule module_;
};

}  // namespace

TReadModule ReadModule(std::span<const std::uint8_t> file, TModuleKind kind) {
  return TModuleReader(file, kind).Read();
}

std::vector<TResource> ReadResourceModule(std::span<const std::uint8_t> file) {
  std::vector<TResource> resources;
  for (TReadResource& read : ReadModule(file, TModuleKind::kResourceOnly).resources)
    resources.push_back(std::move(read.resource));
  return resources;
}

}  // namespace marivane::module
