// Windows bitmaps and icons for importing, decoded by our own code: no library Debian ships
// reads every depth (1, 2, 4, 8, 16, 24, 32 bits, run-length data, colour masks) without
// bringing a whole imaging suite along, and the format is small enough to read through
// TByteReader like the slots' own bitmap reader. Unlike that reader, which hands bits to the
// system untouched, this one turns every variant into BGRA. Pixel data that stops early is no
// fault here either: the rows it lacks stay black.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "base/bitmap_format.h"
#include "base/byte_reader.h"
#include "base/errors.h"
#include "platform/picture_decoder_posix.h"

namespace marivane::platform {
namespace {

constexpr std::uint32_t kMaxColorsUsed = 1 << 16;

// One colour channel of a 16- or 32-bit pixel, by its mask.
struct TChannel {
  std::uint32_t mask = 0;
  int shift = 0;
  int bits = 0;

  explicit TChannel(std::uint32_t m) : mask(m) {
    if (m == 0) return;
    shift = std::countr_zero(m);
    bits = std::bit_width(m >> shift);
  }
  // The channel widened or narrowed to 8 bits.
  std::uint8_t Extract(std::uint32_t pixel) const {
    if (mask == 0) return 0;
    const std::uint32_t value = (pixel & mask) >> shift;
    if (bits >= 8) return static_cast<std::uint8_t>(value >> (bits - 8));
    return static_cast<std::uint8_t>(value * 255 / ((1u << bits) - 1));
  }
};

// Where a DIB comes from, which changes how it reads. In an icon the height counts the colour
// rows and the transparency mask rows together, and a 32-bit pixel's fourth byte is its alpha;
// in a bitmap file that byte is padding.
enum class TDibKind { Bitmap, Icon };

struct TDib {
  std::int32_t width = 0;
  std::int32_t rows = 0;
  bool top_down = false;
  std::uint16_t bits = 0;
  std::uint32_t compression = kBiRgb;
  std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  std::vector<std::array<std::uint8_t, 3>> palette;  // blue, green, red
  std::uint64_t end = 0;  // just past the header, the masks and the colour table
};

// Reads the info header at `at` and what follows it.
TDib ReadDibHeader(const TByteReader& file, std::uint64_t at, TDibKind kind,
                   const std::string& name) {
  TDib dib;
  const std::uint32_t size =
      file.U32(at + offsetof(TBitmapInfoHeaderDisk, size), "header size");
  std::int64_t height = 0;
  std::uint32_t colors_used = 0;
  std::uint64_t palette_entry = 4;
  if (size == kCoreHeaderSize) {
    dib.width = file.U16(at + offsetof(TBitmapCoreHeaderDisk, width));
    height = file.U16(at + offsetof(TBitmapCoreHeaderDisk, height));
    dib.bits = file.U16(at + offsetof(TBitmapCoreHeaderDisk, bit_count));
    palette_entry = 3;
  } else if (size >= kInfoHeaderSize && size <= kMaxInfoHeaderSize) {
    dib.width = file.I32(at + offsetof(TBitmapInfoHeaderDisk, width));
    height = file.I32(at + offsetof(TBitmapInfoHeaderDisk, height));
    dib.bits = file.U16(at + offsetof(TBitmapInfoHeaderDisk, bit_count));
    dib.compression = file.U32(at + offsetof(TBitmapInfoHeaderDisk, compression));
    colors_used = file.U32(at + offsetof(TBitmapInfoHeaderDisk, colors_used));
    if (size == kOs2HeaderSize && dib.compression > kBiRle4)
      RefusePicture(name, "the bitmap is compressed in a way this program does not read");
    if (size >= kMasksInHeaderSize) {  // red, green, blue and from V3 on alpha, from +40
      const int count = size >= kAlphaMaskInHeaderSize ? 4 : 3;
      const std::uint64_t masks = at + offsetof(TBitmapV5HeaderDisk, red_mask);
      for (int i = 0; i < count; ++i) dib.masks[i] = file.U32(masks + 4 * i);
    }
  } else {
    RefusePicture(name, "its bitmap header is of no kind this program knows");
  }
  dib.end = at + size;
  if (size == kInfoHeaderSize &&
      (dib.compression == kBiBitfields || dib.compression == kBiAlphaBitfields)) {
    const int count = dib.compression == kBiAlphaBitfields ? 4 : 3;
    for (int i = 0; i < count; ++i) dib.masks[i] = file.U32(dib.end + 4 * i, "colour masks");
    dib.end += 4 * count;
  }

  if (kind == TDibKind::Icon) height /= 2;
  if (dib.width <= 0 || height == 0 || height == INT32_MIN)
    RefusePicture(name, "the bitmap has no pixels");
  dib.top_down = height < 0;
  dib.rows = static_cast<std::int32_t>(height < 0 ? -height : height);

  const bool depth_ok =
      dib.compression == kBiRgb
          ? (dib.bits == 1 || dib.bits == 2 || dib.bits == 4 || dib.bits == 8 ||
             dib.bits == 16 || dib.bits == 24 || dib.bits == 32)
      : dib.compression == kBiRle8 ? dib.bits == 8
      : dib.compression == kBiRle4 ? dib.bits == 4
      : (dib.compression == kBiBitfields || dib.compression == kBiAlphaBitfields)
          ? (dib.bits == 16 || dib.bits == 32)
          : false;
  if (!depth_ok) {
    RefusePicture(name, "the bitmap's depth of " + std::to_string(dib.bits) +
                            " bits or its compression is one this program does not read");
  }
  if ((dib.compression == kBiRle8 || dib.compression == kBiRle4) && dib.top_down)
    RefusePicture(name, "the bitmap stores run-length data top row first, which no bitmap may");
  if (dib.compression == kBiRgb && dib.bits == 16) {
    dib.masks[0] = 0x7C00, dib.masks[1] = 0x03E0, dib.masks[2] = 0x001F, dib.masks[3] = 0;
  } else if (dib.compression == kBiRgb && dib.bits == 32) {
    dib.masks[0] = 0xFF0000, dib.masks[1] = 0xFF00, dib.masks[2] = 0xFF, dib.masks[3] = 0;
  }

  // A colour table may sit before the pixels at any depth (a hint for 8-bit screens); only
  // up to 8 bits are its colours used.
  if (colors_used > kMaxColorsUsed) RefusePicture(name, "its colour table is too large");
  std::uint64_t entries = colors_used;
  if (entries == 0 && dib.bits <= 8) entries = std::uint64_t{1} << dib.bits;
  if (dib.bits <= 8) {
    const std::uint64_t kept = std::min<std::uint64_t>(entries, std::uint64_t{1} << dib.bits);
    for (std::uint64_t i = 0; i < kept; ++i) {
      const auto bytes = file.Bytes(dib.end + i * palette_entry, 3, "colour table");
      dib.palette.push_back({bytes[0], bytes[1], bytes[2]});
    }
  }
  dib.end += entries * palette_entry;
  return dib;
}

std::uint64_t RowBytes(const TDib& dib) {
  return (static_cast<std::uint64_t>(dib.width) * dib.bits + 31) / 32 * 4;
}

// Where stored row `row` (counted from the first stored) lands in the top-down output.
std::int32_t OutputRow(const TDib& dib, std::int32_t row) {
  return dib.top_down ? row : dib.rows - 1 - row;
}

void PutIndex(const TDib& dib, TDecodedPicture& out, std::int64_t x, std::int32_t row,
              unsigned index) {
  if (x < 0 || x >= dib.width || row < 0 || row >= dib.rows) return;
  if (index >= dib.palette.size()) return;  // past a short table: left black
  std::uint8_t* p = out.bgra.data() +
                    (static_cast<std::size_t>(OutputRow(dib, row)) * dib.width + x) * 4;
  std::memcpy(p, dib.palette[index].data(), 3);
}

// Run-length data: pairs of (count, value), or 0 and an escape: 0 ends a row, 1 the
// picture, 2 moves right and up by the next two bytes, 3 or more introduces that many
// literal pixels padded to a 16-bit boundary. Pixels it never reaches stay black.
void DecodeRunLength(const TByteReader& file, std::uint64_t at, const TDib& dib,
                     TDecodedPicture& out) {
  const bool four = dib.compression == kBiRle4;
  std::int64_t x = 0;
  std::int32_t row = 0;
  while (row < dib.rows && file.Holds(at, 2)) {
    const unsigned count = file.U8(at);
    const unsigned value = file.U8(at + 1);
    at += 2;
    if (count > 0) {
      for (unsigned i = 0; i < count; ++i, ++x)
        PutIndex(dib, out, x, row, four ? ((i & 1) != 0 ? value & 15 : value >> 4) : value);
      continue;
    }
    if (value == 0) {
      x = 0, ++row;
    } else if (value == 1) {
      return;
    } else if (value == 2) {
      if (!file.Holds(at, 2)) return;
      x += file.U8(at);
      row += file.U8(at + 1);
      at += 2;
    } else {
      const std::uint64_t bytes = four ? (value + 1) / 2 : value;
      if (!file.Holds(at, bytes)) return;
      for (unsigned i = 0; i < value; ++i, ++x) {
        const unsigned byte = file.U8(at + (four ? i / 2 : i));
        PutIndex(dib, out, x, row, four ? ((i & 1) != 0 ? byte & 15 : byte >> 4) : byte);
      }
      at += (bytes + 1) & ~std::uint64_t{1};
    }
  }
}

// Uncompressed rows from `at`.
void DecodeRows(const TByteReader& file, std::uint64_t at, const TDib& dib, TDibKind kind,
                TDecodedPicture& out) {
  const std::uint64_t row_bytes = RowBytes(dib);
  const TChannel red(dib.masks[0]), green(dib.masks[1]), blue(dib.masks[2]), alpha(dib.masks[3]);
  const bool masked_alpha = dib.compression != kBiRgb && dib.masks[3] != 0;
  for (std::int32_t row = 0; row < dib.rows; ++row) {
    const std::uint64_t start = at + static_cast<std::uint64_t>(row) * row_bytes;
    if (!file.Holds(start, row_bytes)) break;
    const std::span<const std::uint8_t> in = file.Bytes(start, row_bytes);
    std::uint8_t* p = out.bgra.data() + static_cast<std::size_t>(OutputRow(dib, row)) * dib.width * 4;
    for (std::int32_t x = 0; x < dib.width; ++x, p += 4) {
      switch (dib.bits) {
        case 1: case 2: case 4: case 8: {
          const std::size_t bit = static_cast<std::size_t>(x) * dib.bits;
          const unsigned index = (in[bit / 8] >> (8 - dib.bits - bit % 8)) & ((1u << dib.bits) - 1);
          if (index < dib.palette.size()) std::memcpy(p, dib.palette[index].data(), 3);
          break;
        }
        case 24:
          std::memcpy(p, &in[3 * static_cast<std::size_t>(x)], 3);
          break;
        case 16: case 32: {
          std::uint32_t pixel = in[dib.bits / 8 * x] | in[dib.bits / 8 * x + 1] << 8;
          if (dib.bits == 32) {
            pixel |= static_cast<std::uint32_t>(in[4 * x + 2]) << 16 |
                     static_cast<std::uint32_t>(in[4 * x + 3]) << 24;
          }
          p[0] = blue.Extract(pixel);
          p[1] = green.Extract(pixel);
          p[2] = red.Extract(pixel);
          if (masked_alpha) p[3] = alpha.Extract(pixel);
          else if (kind == TDibKind::Icon && dib.bits == 32) p[3] = in[4 * x + 3];
          break;
        }
        default: break;
      }
    }
  }
}

TDecodedPicture DecodeDib(const TByteReader& file, const TDib& dib, std::uint64_t pixels,
                          TDibKind kind, const std::string& name) {
  CheckPictureSize(name, static_cast<std::uint64_t>(dib.width), static_cast<std::uint64_t>(dib.rows));
  TDecodedPicture out;
  out.width = dib.width;
  out.height = dib.rows;
  // Opaque black until the data says otherwise.
  out.bgra.assign(static_cast<std::size_t>(dib.width) * dib.rows * 4, 0);
  for (std::size_t i = 3; i < out.bgra.size(); i += 4) out.bgra[i] = 255;
  if (dib.compression == kBiRle8 || dib.compression == kBiRle4) {
    DecodeRunLength(file, pixels, dib, out);
  } else {
    DecodeRows(file, pixels, dib, kind, out);
  }
  return out;
}

[[noreturn]] void RefuseShort(const std::string& name, const char* kind) {
  RefusePicture(name, std::string("the ") + kind + " file ends inside its headers");
}

}  // namespace

TDecodedPicture DecodeBitmapBytes(std::span<const std::uint8_t> bytes, const std::string& name) {
  const TByteReader file(bytes);
  try {
    const TDib dib = ReadDibHeader(file, sizeof(TBitmapFileHeaderDisk), TDibKind::Bitmap, name);
    // Where the pixels start: trusted only when it lies past the colour table and inside the
    // file; writers that leave it 0 or point it astray are common enough.
    const std::uint32_t declared = file.U32(offsetof(TBitmapFileHeaderDisk, pixel_offset));
    const std::uint64_t pixels = declared >= dib.end && declared < bytes.size() ? declared : dib.end;
    return DecodeDib(file, dib, pixels, TDibKind::Bitmap, name);
  } catch (const EReadError&) {
    RefuseShort(name, "bitmap");
  }
}

TDecodedPicture DecodeIconBytes(std::span<const std::uint8_t> bytes, const std::string& name) {
  static constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const TByteReader file(bytes);
  try {
    // The images' entries follow the header.
    const std::uint16_t count = file.U16(offsetof(TIconHeaderDisk, count));
    if (count == 0) RefusePicture(name, "the icon file holds no picture");
    // The largest image, the deepest of those: the one closest to a slot's size.
    std::uint64_t best = 0;
    std::uint64_t best_area = 0;
    unsigned best_bits = 0;
    for (std::uint16_t i = 0; i < count; ++i) {
      const std::uint64_t entry =
          sizeof(TIconHeaderDisk) + sizeof(TIconEntryDisk) * std::uint64_t{i};
      const auto side = [&](std::size_t field) -> std::uint64_t {
        const std::uint8_t stored = file.U8(entry + field);
        return stored == 0 ? 256 : stored;  // 0 stands for 256
      };
      const std::uint64_t w = side(offsetof(TIconEntryDisk, width));
      const std::uint64_t h = side(offsetof(TIconEntryDisk, height));
      const unsigned bits = file.U16(entry + offsetof(TIconEntryDisk, bit_count));
      if (w * h > best_area || (w * h == best_area && bits > best_bits)) {
        best = entry, best_area = w * h, best_bits = bits;
      }
    }
    const std::span<const std::uint8_t> image =
        file.Bytes(file.U32(best + offsetof(TIconEntryDisk, image_offset)),
                   file.U32(best + offsetof(TIconEntryDisk, bytes)));
    if (image.size() >= 8 && std::memcmp(image.data(), kPngSignature, 8) == 0)
      return DecodePictureBytes(image, name);

    const TByteReader dib_bytes(image);
    const TDib dib = ReadDibHeader(dib_bytes, 0, TDibKind::Icon, name);
    TDecodedPicture out = DecodeDib(dib_bytes, dib, dib.end, TDibKind::Icon, name);
    // A 32-bit image carries its own alpha; older ones leave it all zero and rely on the
    // 1-bit mask after the colour rows, where a set bit is a see-through pixel.
    bool has_alpha = false;
    if (dib.bits == 32) {
      for (std::size_t i = 3; i < out.bgra.size() && !has_alpha; i += 4) has_alpha = out.bgra[i] != 0;
    }
    if (has_alpha) return out;
    const std::uint64_t mask_at = dib.end + RowBytes(dib) * static_cast<std::uint64_t>(dib.rows);
    const std::uint64_t mask_row = (static_cast<std::uint64_t>(dib.width) + 31) / 32 * 4;
    for (std::int32_t row = 0; row < dib.rows; ++row) {
      std::uint8_t* p = out.bgra.data() + static_cast<std::size_t>(OutputRow(dib, row)) * dib.width * 4;
      const std::uint64_t start = mask_at + static_cast<std::uint64_t>(row) * mask_row;
      const bool present = dib_bytes.Holds(start, mask_row);
      for (std::int32_t x = 0; x < dib.width; ++x, p += 4) {
        const bool clear = present && (dib_bytes.U8(start + x / 8) >> (7 - x % 8) & 1) != 0;
        p[3] = clear ? 0 : 255;
      }
    }
    return out;
  } catch (const EReadError&) {
    RefuseShort(name, "icon");
  }
}

}  // namespace marivane::platform
