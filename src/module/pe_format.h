// On-disk structures of a 32-bit PE module, as far as a resource-only module needs them, and
// the field values we give them. Names avoid the IMAGE_* macros of <windows.h> on purpose.
#pragma once

#include <cstdint>

namespace marivane::module {

#pragma pack(push, 1)

// The MS-DOS header at file offset 0. Loaders read only e_magic and e_lfanew.
struct DosHeaderDisk {
  std::uint16_t magic;               // +0x00: "MZ"
  std::uint16_t bytes_in_last_page;  // +0x02
  std::uint16_t pages;               // +0x04: 512-byte pages of the DOS image, last one partial
  std::uint16_t relocations;         // +0x06
  std::uint16_t header_paragraphs;   // +0x08: 16-byte units before the DOS code
  std::uint16_t min_alloc;           // +0x0A
  std::uint16_t max_alloc;           // +0x0C
  std::uint16_t initial_ss;          // +0x0E
  std::uint16_t initial_sp;          // +0x10
  std::uint16_t checksum;            // +0x12
  std::uint16_t initial_ip;          // +0x14
  std::uint16_t initial_cs;          // +0x16
  std::uint16_t relocation_table;    // +0x18
  std::uint16_t overlay;             // +0x1A
  std::uint16_t reserved1[4];        // +0x1C
  std::uint16_t oem_id;              // +0x24
  std::uint16_t oem_info;            // +0x26
  std::uint16_t reserved2[10];       // +0x28
  std::uint32_t pe_header_offset;    // +0x3C: e_lfanew, where "PE\0\0" starts
};
static_assert(sizeof(DosHeaderDisk) == 64);

// COFF file header, right after the 4-byte "PE\0\0" signature.
struct CoffHeaderDisk {
  std::uint16_t machine;
  std::uint16_t number_of_sections;
  std::uint32_t time_date_stamp;
  std::uint32_t symbol_table_offset;
  std::uint32_t number_of_symbols;
  std::uint16_t optional_header_size;
  std::uint16_t characteristics;
};
static_assert(sizeof(CoffHeaderDisk) == 20);

struct DataDirectoryDisk {
  std::uint32_t rva;
  std::uint32_t size;
};
static_assert(sizeof(DataDirectoryDisk) == 8);

constexpr int kDataDirectoryCount = 16;  // every PE32 linker writes all 16; pefile warns on more
constexpr int kResourceDirectoryIndex = 2;

// PE32 optional header (magic 0x10B). CheckSum sits at +64 here and in PE32+ alike.
struct OptionalHeader32Disk {
  std::uint16_t magic;
  std::uint8_t major_linker_version;
  std::uint8_t minor_linker_version;
  std::uint32_t size_of_code;
  std::uint32_t size_of_initialized_data;
  std::uint32_t size_of_uninitialized_data;
  std::uint32_t address_of_entry_point;
  std::uint32_t base_of_code;
  std::uint32_t base_of_data;
  std::uint32_t image_base;
  std::uint32_t section_alignment;
  std::uint32_t file_alignment;
  std::uint16_t major_os_version;
  std::uint16_t minor_os_version;
  std::uint16_t major_image_version;
  std::uint16_t minor_image_version;
  std::uint16_t major_subsystem_version;
  std::uint16_t minor_subsystem_version;
  std::uint32_t win32_version_value;
  std::uint32_t size_of_image;
  std::uint32_t size_of_headers;
  std::uint32_t checksum;  // +64
  std::uint16_t subsystem;
  std::uint16_t dll_characteristics;
  std::uint32_t stack_reserve;
  std::uint32_t stack_commit;
  std::uint32_t heap_reserve;
  std::uint32_t heap_commit;
  std::uint32_t loader_flags;
  std::uint32_t number_of_rva_and_sizes;
  DataDirectoryDisk data_directories[kDataDirectoryCount];
};
static_assert(sizeof(OptionalHeader32Disk) == 224);

struct SectionHeaderDisk {
  char name[8];
  std::uint32_t virtual_size;
  std::uint32_t virtual_address;
  std::uint32_t size_of_raw_data;
  std::uint32_t pointer_to_raw_data;
  std::uint32_t pointer_to_relocations;
  std::uint32_t pointer_to_line_numbers;
  std::uint16_t number_of_relocations;
  std::uint16_t number_of_line_numbers;
  std::uint32_t characteristics;
};
static_assert(sizeof(SectionHeaderDisk) == 40);

// One table of the resource tree; its entries follow it, named ones first.
struct ResourceDirectoryDisk {
  std::uint32_t characteristics;
  std::uint32_t time_date_stamp;
  std::uint16_t major_version;
  std::uint16_t minor_version;
  std::uint16_t named_entries;
  std::uint16_t id_entries;
};
static_assert(sizeof(ResourceDirectoryDisk) == 16);

struct ResourceDirectoryEntryDisk {
  // Bit 31 set: the low bits are the section-relative offset of a counted UTF-16 name;
  // clear: the low 16 bits are the numeric ID.
  std::uint32_t name_or_id;
  // Bit 31 set: the low bits are the section-relative offset of a subtable; clear: of a data
  // entry. Windows and Wine both trust this bit; pefile shows a missing one as "data".
  std::uint32_t offset;
};
static_assert(sizeof(ResourceDirectoryEntryDisk) == 8);

struct ResourceDataEntryDisk {
  std::uint32_t
      data_rva;  // an RVA, not a file offset: the loader maps it through the section table
  std::uint32_t size;
  std::uint32_t code_page;
  std::uint32_t reserved;
};
static_assert(sizeof(ResourceDataEntryDisk) == 16);

#pragma pack(pop)

constexpr std::uint16_t kDosMagic = 0x5A4D;         // "MZ"
constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kPe32Magic = 0x010B;
// EXECUTABLE_IMAGE (0x0002) | 32BIT_MACHINE (0x0100) | DLL (0x2000): what a linker gives a DLL.
constexpr std::uint16_t kDllCharacteristicsCoff = 0x2102;
constexpr std::uint16_t kSubsystemWindowsGui = 2;
// DYNAMIC_BASE (0x0040) | NX_COMPAT (0x0100). There is no code to relocate, so a moved
// image-resource mapping needs no relocation table.
constexpr std::uint16_t kDllCharacteristicsOptional = 0x0140;
// INITIALIZED_DATA (0x40) | MEM_READ (0x40000000); a resource section is never written to.
constexpr std::uint32_t kResourceSectionCharacteristics = 0x40000040;
// Set in a directory entry's offset (subtable) or name (string) field.
constexpr std::uint32_t kResourceHighBit = 0x80000000;

// The resources a boot screen file and its boot loader are read for.
constexpr std::uint16_t kTypeRcdata = 10;   // RT_RCDATA: the boot screen
constexpr std::uint16_t kTypeVersion = 16;  // RT_VERSION
constexpr char kTypeMui[] = "MUI";          // the MUI configuration, a named type
constexpr std::uint16_t kResourceName = 1;  // all three are name 1

}  // namespace marivane::module
