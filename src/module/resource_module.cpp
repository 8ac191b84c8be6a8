#include "module/resource_module.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>

#include "module/pe_checksum.h"
#include "module/pe_format.h"
#include "module/template_layout.h"

namespace marivane::module {

namespace {

// --- Fixed header values ---

// The DOS image is everything in front of "PE\0\0": the 64-byte header and the stub.
constexpr std::uint32_t kDosImageSize = kPeHeaderOffset;
constexpr std::uint32_t kDosPageSize = 512;   // e_cp counts pages, e_cblp the bytes in the last
constexpr std::uint32_t kDosParagraph = 16;   // e_cparhdr counts paragraphs
constexpr std::uint16_t kDosStackTop = 0xB8;  // SP: just past the 0x70-byte stub in DOS memory
constexpr std::uint32_t kDosStubOffset = 0x40;
// 16-bit real-mode code at 0x40, which DOS loads at CS:0000 after skipping the 4-paragraph
// header: print the message that follows with INT 21h/AH=09h, exit with code 1.
constexpr std::uint8_t kDosStubCode[] = {
    0x0E,              // push cs
    0x1F,              // pop ds            ; DS = CS, so DX addresses the message
    0xBA, 0x0E, 0x00,  // mov dx, 000Eh     ; the message follows these 14 bytes
    0xB4, 0x09,        // mov ah, 09h       ; print a '$'-terminated string
    0xCD, 0x21,        // int 21h
    0xB8, 0x01, 0x4C,  // mov ax, 4C01h     ; terminate, exit code 1
    0xCD, 0x21,        // int 21h
};
constexpr char kDosStubMessage[] = "This Marivane resource module does not run in DOS.\r\n$";
static_assert(kDosStubOffset + sizeof(kDosStubCode) + sizeof(kDosStubMessage) - 1 <= kDosImageSize);
static_assert(sizeof(kDosStubCode) == 0x0E);

// Version numbers this writer puts in the optional header: linker 1.1 (ours, so nobody
// mistakes the file for a Microsoft link), OS/image/subsystem 6.0 (Vista).
constexpr std::uint8_t kLinkerMajor = 1;
constexpr std::uint8_t kLinkerMinor = 1;
constexpr std::uint16_t kVistaMajor = 6;
// Stack and heap sizes are ignored for a DLL; these are the usual linker defaults for one.
constexpr std::uint32_t kStackReserve = 0x40000;
constexpr std::uint32_t kStackCommit = 0x1000;
constexpr std::uint32_t kHeapReserve = 0x100000;
constexpr std::uint32_t kHeapCommit = 0x1000;

// --- Resource layout values ---

// Directory tables and data entries are DWORD structures; name strings are WORD arrays.
constexpr std::uint64_t kTableAlignment = 4;
constexpr std::uint64_t kStringAlignment = 2;
// Data placed after the slot starts on 8-byte boundaries, as resource compilers place it.
constexpr std::uint64_t kDataAlignment = 8;
// Far more than the 596 bytes in front of the slot could hold anyway.
constexpr std::size_t kMaxNameLength = 255;
// Keep SizeOfImage and every RVA well inside a signed 32-bit range; a 4 MB boot screen file
// is nowhere near it.
constexpr std::uint64_t kMaxImageSize = 0x80000000;

struct TLeaf {
  std::size_t placed_index = 0;
  std::uint32_t code_page = 0;
  std::uint64_t entry_offset = 0;  // section-relative
};
using TLanguageTable = std::map<std::uint16_t, TLeaf>;
using TNameTable = std::map<TResourceKey, TLanguageTable>;
using TTypeTable = std::map<TResourceKey, TNameTable>;

std::uint64_t TableSize(std::size_t entries) {
  return sizeof(TResourceDirectoryDisk) + entries * sizeof(TResourceDirectoryEntryDisk);
}

std::string Describe(const TResourceKey& type, const TResourceKey& name, std::uint16_t language) {
  return "resource " + type.ToString() + "/" + name.ToString() + "/" + std::to_string(language);
}

// First-fit allocation of the space in front of the slot. The fixed data entry splits it in
// two; the upper end is left open so that a directory that is too large can still be laid
// out, and the caller can say how far it would have reached.
class TDirectoryArea {
 public:
  TDirectoryArea() {
    free_.push_back({0, kSlotDataEntrySectionOffset});
    free_.push_back({kSlotDataEntrySectionOffset + sizeof(TResourceDataEntryDisk),
                     std::numeric_limits<std::uint64_t>::max()});
  }

  std::uint64_t Allocate(std::uint64_t size, std::uint64_t alignment) {
    for (std::size_t i = 0; i < free_.size(); ++i) {
      const TRange range = free_[i];
      const std::uint64_t start = AlignUp(range.begin, alignment);
      if (start > range.end || range.end - start < size) continue;
      free_.erase(free_.begin() + static_cast<std::ptrdiff_t>(i));
      if (start + size < range.end)
        free_.insert(free_.begin() + static_cast<std::ptrdiff_t>(i), {start + size, range.end});
      if (range.begin < start)
        free_.insert(free_.begin() + static_cast<std::ptrdiff_t>(i), {range.begin, start});
      high_water_ = std::max(high_water_, start + size);
      return start;
    }
    throw std::logic_error("module writer: the open-ended directory area ran out");
  }

  std::uint64_t high_water() const { return high_water_; }

 private:
  struct TRange {
    std::uint64_t begin;
    std::uint64_t end;
  };
  std::vector<TRange> free_;
  std::uint64_t high_water_ = 0;
};

// --- Headers ---

struct TGeometry {
  std::uint32_t virtual_size;
  std::uint32_t raw_size;
  std::uint32_t size_of_image;
};

void WriteHeaders(TBytes& out, const TGeometry& geometry, const TModuleStamp& stamp) {
  TDosHeaderDisk dos{};
  dos.magic = kDosMagic;
  dos.bytes_in_last_page = kDosImageSize % kDosPageSize;
  dos.pages = (kDosImageSize + kDosPageSize - 1) / kDosPageSize;
  dos.header_paragraphs = sizeof(TDosHeaderDisk) / kDosParagraph;
  dos.max_alloc = 0xFFFF;  // all the memory DOS has
  dos.initial_sp = kDosStackTop;
  dos.relocation_table = sizeof(TDosHeaderDisk);  // no relocations; points past the header
  dos.pe_header_offset = kPeHeaderOffset;
  PutStruct(out, 0, dos);
  std::memcpy(out.data() + kDosStubOffset, kDosStubCode, sizeof(kDosStubCode));
  std::memcpy(out.data() + kDosStubOffset + sizeof(kDosStubCode), kDosStubMessage,
              sizeof(kDosStubMessage) - 1);

  PutU32(out, kPeHeaderOffset, kPeSignature);
  const std::uint32_t coff_offset = kPeHeaderOffset + kCoffHeaderFromPeHeader;
  const std::uint32_t optional_offset = kPeHeaderOffset + kOptionalHeaderFromPeHeader;
  const std::uint32_t section_table_offset = optional_offset + sizeof(TOptionalHeader32Disk);
  static_assert(kPeHeaderOffset + kOptionalHeaderFromPeHeader + sizeof(TOptionalHeader32Disk) +
                    sizeof(TSectionHeaderDisk) <=
                kHeadersSize);

  TCoffHeaderDisk coff{};
  coff.machine = kMachineI386;
  coff.number_of_sections = 1;
  coff.time_date_stamp = stamp.time_date_stamp;
  coff.optional_header_size = sizeof(TOptionalHeader32Disk);
  coff.characteristics = kCoffCharacteristicsDll;
  PutStruct(out, coff_offset, coff);

  TOptionalHeader32Disk optional{};
  optional.magic = kPe32Magic;
  optional.major_linker_version = kLinkerMajor;
  optional.minor_linker_version = kLinkerMinor;
  optional.size_of_initialized_data = geometry.raw_size;
  // No code and no entry point (/NOENTRY): the loader maps the file for its resources only.
  optional.base_of_code = kResourceSectionRva;
  optional.base_of_data = kResourceSectionRva;
  optional.image_base = stamp.image_base;
  optional.section_alignment = kSectionAlignment;
  optional.file_alignment = kFileAlignment;
  optional.major_os_version = kVistaMajor;
  optional.major_image_version = kVistaMajor;
  optional.major_subsystem_version = kVistaMajor;
  optional.size_of_image = geometry.size_of_image;
  optional.size_of_headers = kHeadersSize;
  optional.subsystem = kSubsystemWindowsGui;
  optional.dll_characteristics = kDllCharacteristics;
  optional.stack_reserve = kStackReserve;
  optional.stack_commit = kStackCommit;
  optional.heap_reserve = kHeapReserve;
  optional.heap_commit = kHeapCommit;
  optional.number_of_rva_and_sizes = kDataDirectoryCount;
  optional.data_directories[kResourceDirectoryIndex] = {kResourceSectionRva, geometry.virtual_size};
  PutStruct(out, optional_offset, optional);

  TSectionHeaderDisk section{};
  std::memcpy(section.name, ".rsrc", 5);
  section.virtual_size = geometry.virtual_size;
  section.virtual_address = kResourceSectionRva;
  section.size_of_raw_data = geometry.raw_size;
  section.pointer_to_raw_data = kResourceSectionFileOffset;
  section.characteristics = kResourceSectionCharacteristics;
  PutStruct(out, section_table_offset, section);
}

// --- Resource directory ---

void WriteTable(TBytes& area, std::uint64_t offset, std::size_t named, std::size_t ids) {
  TResourceDirectoryDisk table{};
  table.named_entries = static_cast<std::uint16_t>(named);
  table.id_entries = static_cast<std::uint16_t>(ids);
  PutStruct(area, offset, table);
}

template <typename Map>
std::size_t NamedCount(const Map& map) {
  return static_cast<std::size_t>(
      std::count_if(map.begin(), map.end(), [](const auto& kv) { return kv.first.IsNamed(); }));
}

}  // namespace

// --- TResourceKey ---

TResourceKey TResourceKey::Named(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameLength) {
    throw std::invalid_argument("resource name must have 1 to 255 characters");
  }
  TResourceKey key;
  for (char c : name) {
    if (c < 0x20 || c > 0x7E) throw std::invalid_argument("resource name must be printable ASCII");
    key.name_.push_back(static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
  }
  return key;
}

std::string TResourceKey::ToString() const {
  if (!IsNamed()) return std::to_string(id_);
  std::string quoted(name_.size() + 2, '"');
  std::copy(name_.begin(), name_.end(), quoted.begin() + 1);
  return quoted;
}

std::strong_ordering operator<=>(const TResourceKey& a, const TResourceKey& b) {
  if (a.IsNamed() != b.IsNamed())
    return a.IsNamed() ? std::strong_ordering::less : std::strong_ordering::greater;
  if (a.IsNamed()) return a.name_.compare(b.name_) <=> 0;
  return a.id_ <=> b.id_;
}

EDirectoryOverflow::EDirectoryOverflow(std::uint32_t needed, std::uint32_t available)
    : Exception("the resource directory needs " + std::to_string(needed) +
                " bytes in front of the slot, but there are only " + std::to_string(available)),
      needed_(needed),
      available_(available) {}

// --- Layout and writing ---

namespace {

// Where each piece of the directory goes, section-relative.
struct TDirectoryPlan {
  std::uint64_t root = 0;
  std::map<TResourceKey, std::uint64_t> type_tables;
  std::map<std::pair<TResourceKey, TResourceKey>, std::uint64_t> name_tables;
  std::map<std::u16string, std::uint64_t> strings;
  std::uint64_t end = 0;
};

// All tables first (root, then each type's, then each name's), then the data entries, then
// the name strings, each where it first fits. Fills in the leaves' entry offsets.
TDirectoryPlan PlanDirectory(TTypeTable& tree) {
  TDirectoryArea area;
  TDirectoryPlan plan;
  plan.root = area.Allocate(TableSize(tree.size()), kTableAlignment);
  for (const auto& [type, names] : tree) {
    plan.type_tables[type] = area.Allocate(TableSize(names.size()), kTableAlignment);
  }
  for (const auto& [type, names] : tree) {
    for (const auto& [name, languages] : names) {
      plan.name_tables[{type, name}] = area.Allocate(TableSize(languages.size()), kTableAlignment);
    }
  }
  for (auto& [type, names] : tree) {
    for (auto& [name, languages] : names) {
      for (auto& [language, leaf] : languages) {
        leaf.entry_offset = leaf.placed_index == 0
                                ? kSlotDataEntrySectionOffset
                                : area.Allocate(sizeof(TResourceDataEntryDisk), kTableAlignment);
      }
    }
  }
  auto place_string = [&](const TResourceKey& key) {
    if (key.IsNamed() && !plan.strings.contains(key.name())) {
      plan.strings[key.name()] = area.Allocate(2 + 2 * key.name().size(), kStringAlignment);
    }
  };
  for (const auto& [type, names] : tree) {
    place_string(type);
    for (const auto& [name, languages] : names) place_string(name);
  }
  plan.end = area.high_water();
  return plan;
}

// Writes the tables, entries and strings; the data entries get their RVAs and sizes from
// `placed`, indexed by each leaf's placed_index.
TBytes WriteDirectory(const TTypeTable& tree, const TDirectoryPlan& plan,
                      const std::vector<TPlacedResource>& placed) {
  TBytes directory(kSlotSectionOffset, 0);
  auto put_entry = [&](std::uint64_t at, std::uint32_t name_or_id, std::uint32_t offset) {
    PutStruct(directory, at, TResourceDirectoryEntryDisk{name_or_id, offset});
  };
  auto name_field = [&](const TResourceKey& key) -> std::uint32_t {
    if (!key.IsNamed()) return key.id();
    return kResourceHighBit | static_cast<std::uint32_t>(plan.strings.at(key.name()));
  };

  WriteTable(directory, plan.root, NamedCount(tree), tree.size() - NamedCount(tree));
  std::uint64_t root_entry = plan.root + sizeof(TResourceDirectoryDisk);
  for (const auto& [type, names] : tree) {
    const std::uint64_t type_table = plan.type_tables.at(type);
    put_entry(root_entry, name_field(type),
              kResourceHighBit | static_cast<std::uint32_t>(type_table));
    root_entry += sizeof(TResourceDirectoryEntryDisk);

    WriteTable(directory, type_table, NamedCount(names), names.size() - NamedCount(names));
    std::uint64_t type_entry = type_table + sizeof(TResourceDirectoryDisk);
    for (const auto& [name, languages] : names) {
      const std::uint64_t name_table = plan.name_tables.at({type, name});
      put_entry(type_entry, name_field(name),
                kResourceHighBit | static_cast<std::uint32_t>(name_table));
      type_entry += sizeof(TResourceDirectoryEntryDisk);

      WriteTable(directory, name_table, 0, languages.size());
      std::uint64_t name_entry = name_table + sizeof(TResourceDirectoryDisk);
      for (const auto& [language, leaf] : languages) {
        // High bit clear: this entry leads to a data entry, not to another table.
        put_entry(name_entry, language, static_cast<std::uint32_t>(leaf.entry_offset));
        name_entry += sizeof(TResourceDirectoryEntryDisk);
        const TPlacedResource& resource = placed[leaf.placed_index];
        PutStruct(directory, leaf.entry_offset,
                  TResourceDataEntryDisk{resource.data_rva, resource.size, leaf.code_page, 0});
      }
    }
  }
  for (const auto& [text, offset] : plan.strings) {
    PutU16(directory, offset, static_cast<std::uint16_t>(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) PutU16(directory, offset + 2 + 2 * i, text[i]);
  }
  return directory;
}

}  // namespace

TSlotModule BuildSlotModule(const TSlotResource& slot, std::span<const TResource> after_slot,
                            const TModuleStamp& stamp) {
  TSlotModule result;

  // The tree, with the slot resource first so that a clash is reported against it.
  TTypeTable tree;
  auto add_leaf = [&](const TResourceKey& type, const TResourceKey& name, std::uint16_t language,
                      std::uint32_t code_page) {
    auto [it, inserted] =
        tree[type][name].try_emplace(language, TLeaf{result.resources.size(), code_page});
    if (!inserted) {
      throw std::invalid_argument(
          Describe(type, name, language) +
          (it->second.placed_index == 0 ? " clashes with the slot resource" : " is given twice"));
    }
    result.resources.push_back({type, name, language});
  };
  add_leaf(slot.type, slot.name, slot.language, slot.code_page);
  for (const TResource& resource : after_slot) {
    add_leaf(resource.type, resource.name, resource.language, resource.code_page);
  }

  // Data: the slot resource owns the whole slot; the rest follows it in the order given.
  std::uint64_t cursor = kSlotSectionOffset;
  for (std::size_t i = 0; i < result.resources.size(); ++i) {
    TPlacedResource& placed = result.resources[i];
    const std::uint64_t size = i == 0 ? kSlotSize : after_slot[i - 1].data.size();
    if (i > 0) cursor = AlignUp(cursor, kDataAlignment);  // the slot itself stays where it is
    if (AlignUp(cursor + size, kSectionAlignment) > kMaxImageSize - kResourceSectionRva) {
      throw EModuleError("resource data too large for a 32-bit module");
    }
    placed.data_rva = static_cast<std::uint32_t>(kResourceSectionRva + cursor);
    placed.data_offset = static_cast<std::uint32_t>(kResourceSectionFileOffset + cursor);
    placed.size = static_cast<std::uint32_t>(size);
    cursor += size;
  }
  const TGeometry geometry{
      static_cast<std::uint32_t>(cursor),
      static_cast<std::uint32_t>(AlignUp(cursor, kFileAlignment)),
      static_cast<std::uint32_t>(kResourceSectionRva + AlignUp(cursor, kSectionAlignment)),
  };

  TDirectoryPlan plan = PlanDirectory(tree);
  if (plan.end > kSlotSectionOffset) {
    throw EDirectoryOverflow(static_cast<std::uint32_t>(std::min<std::uint64_t>(
                                plan.end, std::numeric_limits<std::uint32_t>::max())),
                            kSlotSectionOffset);
  }
  result.directory_end = static_cast<std::uint32_t>(kResourceSectionFileOffset + plan.end);
  for (const auto& [type, names] : tree) {
    for (const auto& [name, languages] : names) {
      for (const auto& [language, leaf] : languages) {
        result.resources[leaf.placed_index].data_entry_offset =
            static_cast<std::uint32_t>(kResourceSectionFileOffset + leaf.entry_offset);
      }
    }
  }
  const TBytes directory = WriteDirectory(tree, plan, result.resources);

  // The template: headers, directory, then everything that lies after the slot, moved down by
  // the slot's size.
  result.finished_size = kResourceSectionFileOffset + geometry.raw_size;
  result.section_virtual_size = geometry.virtual_size;
  result.size_of_image = geometry.size_of_image;
  TBytes& out = result.template_bytes;
  out.assign(result.finished_size - kSlotSize, 0);
  WriteHeaders(out, geometry, stamp);
  std::copy(directory.begin(), directory.end(), out.begin() + kResourceSectionFileOffset);
  for (std::size_t i = 0; i < after_slot.size(); ++i) {
    const std::size_t at = result.resources[i + 1].data_offset - kSlotSize;
    std::copy(after_slot[i].data.begin(), after_slot[i].data.end(),
              out.begin() + static_cast<std::ptrdiff_t>(at));
  }

  // The stored checksum is that of the template with a zero-filled slot, whose Size field
  // (written above) covers the whole slot.
  TBytes finished(out.begin(), out.begin() + kSlotOffset);
  finished.resize(kSlotOffset + std::size_t{kSlotSize}, 0);
  finished.insert(finished.end(), out.begin() + kSlotOffset, out.end());
  const auto checksum = ComputePeChecksum(finished);
  if (!checksum) throw std::logic_error("module writer: our own module is not a PE image");
  PutU32(out, kChecksumFieldOffset, *checksum);
  return result;
}

}  // namespace marivane::module
