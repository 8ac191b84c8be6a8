// Windows bitmap files: a 14-byte file header, an info header in one of its variants, optional
// colour masks and colour table, then the pixel data. All numbers are little-endian.
#include <algorithm>
#include <array>

#include "base/bitmap_format.h"
#include "base/byte_reader.h"
#include "base/errors.h"
#include "base/little_endian.h"
#include "builder/picture.h"

namespace marivane {
namespace {

constexpr std::size_t kMaxColorTableEntries = 256;

// A header that asks for more pixel memory than this is refused before anything is allocated;
// the largest picture a boot screen takes needs 2.3 MB.
constexpr std::uint64_t kMaxPixelBytes = 256ull << 20;

[[noreturn]] void NotValid() { throw EInvalidGraphic("Bitmap image is not valid"); }

// Reads the info header and returns it in its 40-byte (or larger) form.
std::vector<std::uint8_t> ReadInfoHeader(TStreamReader& reader, bool& is_core) {
  // The size comes first; what follows it depends on it.
  constexpr std::uint32_t kSizeField = sizeof(std::uint32_t);
  std::array<std::uint8_t, kCoreHeaderSize> core_bytes;
  reader.ReadExact(core_bytes.data(), kSizeField);
  const std::uint32_t size = TByteReader(core_bytes).U32(offsetof(TBitmapCoreHeaderDisk, size));
  is_core = size == kCoreHeaderSize;

  if (is_core) {
    reader.ReadExact(core_bytes.data() + kSizeField, kCoreHeaderSize - kSizeField);
    const TByteReader core(core_bytes);
    TBitmapInfoHeaderDisk info{};
    info.size = kInfoHeaderSize;
    info.width = core.U16(offsetof(TBitmapCoreHeaderDisk, width));
    info.height = core.U16(offsetof(TBitmapCoreHeaderDisk, height));
    info.planes = core.U16(offsetof(TBitmapCoreHeaderDisk, planes));
    info.bit_count = core.U16(offsetof(TBitmapCoreHeaderDisk, bit_count));
    std::vector<std::uint8_t> header(kInfoHeaderSize, 0);
    PutStruct(header, 0, info);
    return header;
  }
  // Sizes between the two known forms name no header that anyone writes.
  if (size < kInfoHeaderSize || size > kMaxInfoHeaderSize) NotValid();
  // A file that ends inside the fixed 40 bytes is cut short; one that only ends inside the
  // extra bytes it declares names a header that is not there.
  if (reader.Remaining() < kInfoHeaderSize - kSizeField) throw EReadError();
  if (reader.Remaining() < size - kSizeField) NotValid();
  std::vector<std::uint8_t> header(size);
  PutU32(header, 0, size);
  reader.ReadExact(header.data() + kSizeField, size - kSizeField);
  return header;
}

// Which compressions and depths a system can make an image of; everything else is refused the
// same way on every platform.
bool IsDrawableFormat(std::uint32_t compression, std::uint16_t bit_count, std::int32_t height) {
  switch (compression) {
    case kBiRgb:
      return bit_count == 1 || bit_count == 4 || bit_count == 8 || bit_count == 16 ||
             bit_count == 24 || bit_count == 32;
    case kBiBitfields:
      return bit_count == 16 || bit_count == 32;
    case kBiRle8:
      return bit_count == 8 && height > 0;  // run-length data is never stored top row first
    case kBiRle4:
      return bit_count == 4 && height > 0;
    default:
      return false;  // JPEG and PNG payloads are for printers, not for the screen
  }
}

TPixelFormat PixelFormatOf(std::uint16_t bit_count, std::uint32_t compression,
                           std::uint32_t green_mask) {
  switch (bit_count) {
    case 1: return TPixelFormat::Bit1;
    case 4: return TPixelFormat::Bit4;
    case 8: return TPixelFormat::Bit8;
    case 16:
      if (compression == kBiRgb) return TPixelFormat::Bit15;
      if (compression == kBiBitfields && green_mask == 0x07E0) return TPixelFormat::Bit16;
      return TPixelFormat::Custom;
    case 24: return TPixelFormat::Bit24;
    case 32: return compression == kBiRgb ? TPixelFormat::Bit32 : TPixelFormat::Custom;
    default: return TPixelFormat::Custom;
  }
}

}  // namespace

TBitmap ReadBitmapFile(TStream& stream, std::uint64_t size) {
  TBitmap bitmap;
  if (size == 0) return bitmap;  // an empty file is an empty bitmap, not an error

  TStreamReader reader(stream);
  std::array<std::uint8_t, sizeof(TBitmapFileHeaderDisk)> file_header;
  reader.ReadExact(file_header.data(), file_header.size());
  // Only the magic counts; the declared size and pixel offset are not trusted.
  if (TByteReader(file_header).U16(offsetof(TBitmapFileHeaderDisk, magic)) != kBitmapMagic)
    NotValid();

  bool is_core = false;
  platform::TBitmapImageSpec spec;
  spec.header = ReadInfoHeader(reader, is_core);
  const TByteReader header(spec.header);
  const std::int32_t width = header.I32(offsetof(TBitmapInfoHeaderDisk, width));
  const std::int32_t stored_height = header.I32(offsetof(TBitmapInfoHeaderDisk, height));
  const std::uint16_t planes = header.U16(offsetof(TBitmapInfoHeaderDisk, planes));
  const std::uint16_t bit_count = header.U16(offsetof(TBitmapInfoHeaderDisk, bit_count));
  const std::uint32_t compression = header.U32(offsetof(TBitmapInfoHeaderDisk, compression));
  const std::uint32_t size_image = header.U32(offsetof(TBitmapInfoHeaderDisk, size_image));
  const std::uint32_t colors_used = header.U32(offsetof(TBitmapInfoHeaderDisk, colors_used));

  if (planes != 1) NotValid();
  // INT32_MIN has no positive counterpart; zero-sized pictures cannot be made at all.
  if (width <= 0 || stored_height == 0 || stored_height == INT32_MIN) NotValid();
  if (!IsDrawableFormat(compression, bit_count, stored_height)) NotValid();
  const std::uint32_t height = static_cast<std::uint32_t>(
      stored_height < 0 ? -static_cast<std::int64_t>(stored_height) : stored_height);

  // Masks that a 40-byte header leaves out follow it as three 32-bit values.
  std::uint32_t green_mask = 0;
  if (spec.header.size() == kInfoHeaderSize && compression == kBiBitfields) {
    spec.color_table = reader.ReadExact(12);
    green_mask = TByteReader(spec.color_table).U32(4);  // red, green, blue
  } else if (spec.header.size() >= kMasksInHeaderSize) {
    green_mask = header.U32(offsetof(TBitmapV5HeaderDisk, green_mask));
  }

  std::uint64_t entries = colors_used;
  if (entries == 0 && bit_count <= 8) entries = std::uint64_t{1} << bit_count;
  if (entries > kMaxColorTableEntries) NotValid();
  if (is_core) {
    // 3-byte entries, widened to the 4-byte form with a zero fourth byte.
    const std::vector<std::uint8_t> triples = reader.ReadExact(static_cast<std::size_t>(entries) * 3);
    for (std::size_t i = 0; i < entries; ++i) {
      spec.color_table.insert(spec.color_table.end(), triples.begin() + 3 * i,
                              triples.begin() + 3 * i + 3);
      spec.color_table.push_back(0);
    }
  } else {
    const std::vector<std::uint8_t> quads = reader.ReadExact(static_cast<std::size_t>(entries) * 4);
    spec.color_table.insert(spec.color_table.end(), quads.begin(), quads.end());
  }

  // The pixel data follows the colour table directly. Rows are padded to 32 bits; the
  // multiplications are done in 64 bits and bounded before the next one can overflow.
  const std::uint64_t row_bytes = (static_cast<std::uint64_t>(width) * bit_count + 31) / 32 * 4;
  if (row_bytes > kMaxPixelBytes || height > kMaxPixelBytes / row_bytes) NotValid();
  const std::uint64_t full_size = row_bytes * height;
  const bool uncompressed = compression == kBiRgb || compression == kBiBitfields;
  const std::uint64_t expected = (compression == kBiRgb || size_image == 0) ? full_size : size_image;
  // An image-size field past the end of the file is no fault: what the file holds is taken.
  // Uncompressed rows are bounded above already; run-length data costs what is left of the
  // file, up to the same cap.
  const std::uint64_t available = std::min<std::uint64_t>(expected, reader.Remaining());
  if (!uncompressed && available > kMaxPixelBytes) NotValid();

  if (uncompressed) {
    // A file that stops early is no error: the rows it lacks stay zero, that is black.
    spec.bits.assign(static_cast<std::size_t>(full_size), 0);
    const std::size_t wanted = static_cast<std::size_t>(std::min(available, full_size));
    reader.ReadUpTo(std::span(spec.bits.data(), wanted));
  } else {
    spec.bits.resize(static_cast<std::size_t>(available));
    spec.bits.resize(reader.ReadUpTo(spec.bits));
    spec.device_independent = false;
  }

  bitmap.width = width;
  bitmap.height = static_cast<std::int32_t>(height);
  bitmap.pixel_format = uncompressed ? PixelFormatOf(bit_count, compression, green_mask)
                                     : TPixelFormat::Device;
  bitmap.image = platform::CreateBitmapImage(std::move(spec));
  return bitmap;
}

}  // namespace marivane
