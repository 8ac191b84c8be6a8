// On-disk layouts of Windows bitmap and icon files, for every layer that reads or writes them:
// the builder's slot reader and its encoder, the platform's decoder and the Win32 image maker.
// Bytes from outside are read field by field through TByteReader at the offsets these give;
// files we write are filled in as these structs. Names avoid the BITMAP*/BI_* of <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

namespace marivane {

#pragma pack(push, 1)

// BITMAPFILEHEADER, at the start of a .bmp file.
struct TBitmapFileHeaderDisk {
  std::uint16_t magic;         // +0: "BM"
  std::uint32_t file_size;     // +2: the whole file's size; readers do not trust it
  std::uint16_t reserved[2];   // +6
  std::uint32_t pixel_offset;  // +10: where the pixels start
};
static_assert(sizeof(TBitmapFileHeaderDisk) == 14);

// BITMAPCOREHEADER (OS/2 1.x): unsigned 16-bit sizes, 3-byte colour table entries.
struct TBitmapCoreHeaderDisk {
  std::uint32_t size;  // +0: 12
  std::uint16_t width;
  std::uint16_t height;  // unsigned, so always stored bottom row first
  std::uint16_t planes;
  std::uint16_t bit_count;
};
static_assert(sizeof(TBitmapCoreHeaderDisk) == 12);

// BITMAPINFOHEADER, the form every later header extends.
struct TBitmapInfoHeaderDisk {
  std::uint32_t size;    // +0: the size of the header in its variant
  std::int32_t width;    // +4
  std::int32_t height;   // +8: negative for rows stored top row first
  std::uint16_t planes;  // +12: always 1
  std::uint16_t bit_count;     // +14
  std::uint32_t compression;   // +16: kBiRgb and the others below
  std::uint32_t size_image;    // +20: the pixel data's length; 0 allowed when uncompressed
  std::int32_t x_pels_per_meter;  // +24
  std::int32_t y_pels_per_meter;  // +28
  std::uint32_t colors_used;      // +32: colour table entries; 0 means all for the depth
  std::uint32_t colors_important;  // +36
};
static_assert(sizeof(TBitmapInfoHeaderDisk) == 40);

// BITMAPV5HEADER. The V2 header (52 bytes) ends after the three colour masks, V3 (56) after
// the alpha mask, V4 (108) after the gamma values.
struct TBitmapV5HeaderDisk {
  TBitmapInfoHeaderDisk info;
  std::uint32_t red_mask;    // +40
  std::uint32_t green_mask;  // +44
  std::uint32_t blue_mask;   // +48
  std::uint32_t alpha_mask;  // +52
  std::uint32_t cs_type;     // +56: colour space, 'LINK' and 'MBED' name a profile
  std::uint8_t endpoints[36];  // +60
  std::uint32_t gamma[3];      // +96
  std::uint32_t intent;        // +108
  std::uint32_t profile_data;  // +112: the profile's offset from the header's start
  std::uint32_t profile_size;  // +116
  std::uint32_t reserved;      // +120
};
static_assert(sizeof(TBitmapV5HeaderDisk) == 124);

// The 6-byte header of an .ico file and the 16-byte entries that follow it, one per image.
struct TIconHeaderDisk {
  std::uint16_t reserved;
  std::uint16_t type;   // +2: 1 for an icon, 2 for a cursor
  std::uint16_t count;  // +4: the number of images
};
static_assert(sizeof(TIconHeaderDisk) == 6);

struct TIconEntryDisk {
  std::uint8_t width;   // +0: 0 stands for 256 or more
  std::uint8_t height;  // +1: likewise
  std::uint8_t color_count;
  std::uint8_t reserved;
  std::uint16_t planes;
  std::uint16_t bit_count;   // +6
  std::uint32_t bytes;       // +8: the image's size
  std::uint32_t image_offset;  // +12: where the image starts, from the start of the file
};
static_assert(sizeof(TIconEntryDisk) == 16);

#pragma pack(pop)

constexpr std::uint16_t kBitmapMagic = 0x4D42;  // "BM"

constexpr std::uint32_t kCoreHeaderSize = sizeof(TBitmapCoreHeaderDisk);
constexpr std::uint32_t kInfoHeaderSize = sizeof(TBitmapInfoHeaderDisk);
// From the V2 header on the masks sit in the header itself, from +40; from V3 on the alpha one
// too. A 40-byte header with kBiBitfields has its masks right after it instead.
constexpr std::uint32_t kMasksInHeaderSize = offsetof(TBitmapV5HeaderDisk, alpha_mask);
constexpr std::uint32_t kAlphaMaskInHeaderSize = offsetof(TBitmapV5HeaderDisk, cs_type);
constexpr std::uint32_t kV5HeaderSize = sizeof(TBitmapV5HeaderDisk);
// The largest variant is the V5 header; one claiming kilobytes is not a bitmap's.
constexpr std::uint32_t kMaxInfoHeaderSize = 4096;
// OS/2 2.x: its compressions 3 and 4 mean other things than Windows' do.
constexpr std::uint32_t kOs2HeaderSize = 64;

// Compression values of the info header.
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;

}  // namespace marivane
