// On-disk structures of a 32-bit PE module, as far as a resource-only module needs them, and
// the field values we give them. Names avoid the IMAGE_* macros of <windows.h> on purpose.
#pragma once

#include <cstddef>
#include <cstdint>

namespace marivane::module {

#pragma pack(push, 1)

// The MS-DOS header at file offset 0. Loaders read only e_magic and e_lfanew.
struct TDosHeaderDisk {
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
static_assert(sizeof(TDosHeaderDisk) == 64);

// COFF file header, right after the 4-byte "PE\0\0" signature.
struct TCoffHeaderDisk {
  std::uint16_t machine;
  std::uint16_t number_of_sections;
  std::uint32_t time_date_stamp;
  std::uint32_t symbol_table_offset;
  std::uint32_t number_of_symbols;
  std::uint16_t optional_header_size;
  std::uint16_t characteristics;
};
static_assert(sizeof(TCoffHeaderDisk) == 20);

struct TDataDirectoryDisk {
  std::uint32_t rva;
  std::uint32_t size;
};
static_assert(sizeof(TDataDirectoryDisk) == 8);

constexpr int kDataDirectoryCount = 16;  // every PE32 linker writes all 16; pefile warns on more
constexpr int kResourceDirectoryIndex = 2;

// PE32 optional header (magic 0x10B). CheckSum sits at +64 here and in PE32+ alike.
struct TOptionalHeader32Disk {
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
  TDataDirectoryDisk data_directories[kDataDirectoryCount];
};
static_assert(sizeof(TOptionalHeader32Disk) == 224);

struct TSectionHeaderDisk {
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
static_assert(sizeof(TSectionHeaderDisk) == 40);

// One table of the resource tree; its entries follow it, named ones first.
struct TResourceDirectoryDisk {
  std::uint32_t characteristics;
  std::uint32_t time_date_stamp;
  std::uint16_t major_version;
  std::uint16_t minor_version;
  std::uint16_t named_entries;
  std::uint16_t id_entries;
};
static_assert(sizeof(TResourceDirectoryDisk) == 16);

struct TResourceDirectoryEntryDisk {
  // Bit 31 set: the low bits are the section-relative offset of a counted UTF-16 name;
  // clear: the low 16 bits are the numeric ID.
  std::uint32_t name_or_id;
  // Bit 31 set: the low bits are the section-relative offset of a subtable; clear: of a data
  // entry. Windows and Wine both trust this bit; pefile shows a missing one as "data".
  std::uint32_t offset;
};
static_assert(sizeof(TResourceDirectoryEntryDisk) == 8);

struct TResourceDataEntryDisk {
  std::uint32_t
      data_rva;  // an RVA, not a file offset: the loader maps it through the section table
  std::uint32_t size;
  std::uint32_t code_page;
  std::uint32_t reserved;
};
static_assert(sizeof(TResourceDataEntryDisk) == 16);

#pragma pack(pop)

constexpr std::uint16_t kDosMagic = 0x5A4D;         // "MZ"
constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint32_t kPeSignatureSize = 4;
constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kPe32Magic = 0x010B;

// Where the headers' fields lie, counted from the places a reader finds them: e_lfanew in the
// DOS header at 0, the COFF header right after the signature at e_lfanew, the optional header
// right after that.
constexpr std::size_t kPeHeaderOffsetField = offsetof(TDosHeaderDisk, pe_header_offset);
constexpr std::size_t kCoffHeaderFromPeHeader = kPeSignatureSize;
constexpr std::size_t kOptionalHeaderFromPeHeader = kPeSignatureSize + sizeof(TCoffHeaderDisk);
// CheckSum: e_lfanew + 88, in PE32 and PE32+ alike.
constexpr std::size_t kChecksumFromPeHeader =
    kOptionalHeaderFromPeHeader + offsetof(TOptionalHeader32Disk, checksum);
static_assert(kChecksumFromPeHeader == 88);

// COFF header Characteristics. EXECUTABLE_IMAGE marks every loadable image; DLL a language
// file, which a program such as winload.exe is not.
constexpr std::uint16_t kCoffExecutableImage = 0x0002;
constexpr std::uint16_t kCoff32BitMachine = 0x0100;
constexpr std::uint16_t kCoffDll = 0x2000;
// What a linker gives a 32-bit DLL: 0x2102.
constexpr std::uint16_t kCoffCharacteristicsDll =
    kCoffExecutableImage | kCoff32BitMachine | kCoffDll;
constexpr std::uint16_t kSubsystemWindowsGui = 2;
// The optional header's DllCharacteristics: DYNAMIC_BASE (0x0040) | NX_COMPAT (0x0100). There
// is no code to relocate, so a moved image-resource mapping needs no relocation table.
constexpr std::uint16_t kDllCharacteristics = 0x0140;
// Section Characteristics. A resource section is initialised data that is only ever read
// (0x40000040); code (CNT_CODE, MEM_EXECUTE) has no place in a resource-only module.
constexpr std::uint32_t kSectionCode = 0x00000020;
constexpr std::uint32_t kSectionInitializedData = 0x00000040;
constexpr std::uint32_t kSectionExecute = 0x20000000;
constexpr std::uint32_t kSectionRead = 0x40000000;
constexpr std::uint32_t kResourceSectionCharacteristics = kSectionInitializedData | kSectionRead;
// Set in a directory entry's offset (subtable) or name (string) field.
constexpr std::uint32_t kResourceHighBit = 0x80000000;

// The resources a boot screen file and its boot loader are read for.
constexpr std::uint16_t kTypeRcdata = 10;   // RT_RCDATA: the boot screen
constexpr std::uint16_t kTypeVersion = 16;  // RT_VERSION
constexpr char kTypeMui[] = "MUI";          // the MUI configuration, a named type
constexpr std::uint16_t kResourceName = 1;  // all three are name 1

}  // namespace marivane::module
