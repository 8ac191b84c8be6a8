// On-disk structures of a WIM archive, version 1.13 (the layout WIMGAPI, wimlib and 7-Zip read).
// All integers little-endian; every struct here is byte-exact and packed.
#pragma once

#include <cstdint>

namespace imaging::wim {

constexpr std::uint8_t kMagic[8] = {'M', 'S', 'W', 'I', 'M', 0, 0, 0};
// wimlib's pipable archives: the same header, but at the end and after this magic.
constexpr std::uint8_t kPipableMagic[8] = {'W', 'L', 'P', 'W', 'M', 0, 0, 0};
constexpr std::uint32_t kVersion = 0x00010D00;  // 1.13; readers refuse 0x10C00 with this header size
constexpr std::uint32_t kVersionSolid = 0x00000E00;  // solid resources, as ESD files have

// Header flags.
constexpr std::uint32_t kHeaderFlagCompression = 0x00000002;
constexpr std::uint32_t kHeaderFlagSpanned = 0x00000008;       // one part of a split archive
constexpr std::uint32_t kHeaderFlagResourceOnly = 0x00000010;  // file data without images
constexpr std::uint32_t kHeaderFlagMetadataOnly = 0x00000020;  // images without file data
constexpr std::uint32_t kHeaderFlagWriteInProgress = 0x00000040;  // only in the placeholder header
constexpr std::uint32_t kHeaderFlagCompressXpress = 0x00020000;
constexpr std::uint32_t kHeaderFlagCompressLzx = 0x00040000;
constexpr std::uint32_t kHeaderFlagCompressLzms = 0x00080000;
constexpr std::uint32_t kHeaderFlagCompressXpress2 = 0x00200000;  // read as XPRESS, as wimlib does

// Resource header flags.
constexpr std::uint8_t kResFlagMetadata = 0x02;    // image metadata; also set on blob table and XML
constexpr std::uint8_t kResFlagCompressed = 0x04;  // chunked, in the header's compression type
constexpr std::uint8_t kResFlagSolid = 0x10;       // only meaningful in kVersionSolid archives

constexpr std::uint32_t kNoSecurityId = 0xFFFFFFFF;

// Directory entry attributes, as Windows numbers them.
constexpr std::uint32_t kAttributeDirectory = 0x00000010;
constexpr std::uint32_t kAttributeReparsePoint = 0x00000400;

#pragma pack(push, 1)

struct TResourceHeaderDisk {
  std::uint8_t size_in_wim[7];  // 56-bit stored size, chunk table included
  std::uint8_t flags;
  std::uint64_t offset_in_wim;
  std::uint64_t uncompressed_size;
};
static_assert(sizeof(TResourceHeaderDisk) == 24);

struct THeaderDisk {
  std::uint8_t magic[8];
  std::uint32_t header_size;  // +0x08: must be 208; 204 (an old document's figure) is refused
  std::uint32_t version;      // +0x0C
  std::uint32_t flags;        // +0x10
  std::uint32_t chunk_size;   // +0x14: 32768 for LZX, 0 when uncompressed
  std::uint8_t guid[16];      // +0x18
  std::uint16_t part_number;  // +0x28: 1-based
  std::uint16_t total_parts;  // +0x2A
  std::uint32_t image_count;  // +0x2C
  TResourceHeaderDisk blob_table;     // +0x30
  TResourceHeaderDisk xml_data;       // +0x48
  TResourceHeaderDisk boot_metadata;  // +0x60: a byte copy of the boot image's metadata reshdr
  std::uint32_t boot_index;           // +0x78: 1-based, 0 for none
  TResourceHeaderDisk integrity;      // +0x7C: only 4-byte aligned, hence the packing
  std::uint8_t unused[60];            // +0x94
};
static_assert(sizeof(THeaderDisk) == 208);

struct TBlobEntryDisk {
  TResourceHeaderDisk resource;
  std::uint16_t part_number;
  std::uint32_t reference_count;  // number of directory entries naming this blob
  std::uint8_t hash[20];          // SHA-1 of the uncompressed bytes
};
static_assert(sizeof(TBlobEntryDisk) == 50);

// Fixed part of a directory entry; the UTF-16 name, its NUL and padding to 8 follow.
struct TDentryDisk {
  std::uint64_t length;  // whole entry, multiple of 8; 0 marks the end of a child list
  std::uint32_t attributes;
  std::uint32_t security_id;
  std::uint64_t subdir_offset;  // metadata offset of a directory's child list
  std::uint64_t reserved[2];
  std::uint64_t creation_time;
  std::uint64_t last_access_time;
  std::uint64_t last_write_time;
  std::uint8_t hash[20];           // +0x40: unnamed data stream, zero when empty
  std::uint32_t reserved2;         // +0x54
  std::uint64_t hard_link_group;   // +0x58
  std::uint16_t num_extra_streams; // +0x60
  std::uint16_t short_name_bytes;  // +0x62
  std::uint16_t name_bytes;        // +0x64: without the NUL; 0 only for the root
};
static_assert(sizeof(TDentryDisk) == 102);

// An extra stream of a directory entry (a named data stream, or the unnamed one moved here);
// the UTF-16 name, its NUL and padding to 8 follow. Extra streams come right after the entry.
struct TExtraStreamDisk {
  std::uint64_t length;  // whole entry, multiple of 8
  std::uint64_t reserved;
  std::uint8_t hash[20];       // +0x10: the stream's data, zero when empty
  std::uint16_t name_bytes;    // +0x24: 0 for the unnamed stream
};
static_assert(sizeof(TExtraStreamDisk) == 38);

// An empty security block: total length 8, no descriptors.
struct TSecurityBlockDisk {
  std::uint32_t total_length;
  std::uint32_t num_entries;
};
static_assert(sizeof(TSecurityBlockDisk) == 8);

#pragma pack(pop)

}  // namespace imaging::wim

namespace imaging {

// A resource header in native values.
struct TResourceHeader {
  std::uint64_t stored_size = 0;
  std::uint64_t offset = 0;
  std::uint64_t uncompressed_size = 0;
  std::uint8_t flags = 0;

  bool operator==(const TResourceHeader&) const = default;
};

}  // namespace imaging
