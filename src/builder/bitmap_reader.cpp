// Windows bitmap files: a 14-byte file header, an info header in one of its variants, optional
// colour masks and colour table, then the pixel data. All numbers are little-endian.
#include <algorithm>
#include <array>

#include "base/byte_reader.h"
#include "base/errors.h"
#include "base/little_endian.h"
#include "builder/picture.h"

namespace marivane {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;  // BITMAPCOREHEADER: 16-bit fields, 3-byte colours
constexpr std::uint32_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER, the form everything widens to
constexpr std::uint32_t kMasksInHeaderSize = 52;  // from this size on the masks sit at +40
constexpr std::size_t kMaxColorTableEntries = 256;
// The largest header variant is 124 bytes; a header claiming kilobytes is not a bitmap's.
constexpr std::uint32_t kMaxInfoHeaderSize = 4096;

// A header that asks for more pixel memory than this is refused before anything is allocated;
// the largest picture a boot screen takes needs 2.3 MB.
constexpr std::uint64_t kMaxPixelBytes = 256ull << 20;

// Compression values of the info header.
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;

// Offsets within the 40-byte info header.
constexpr std::size_t kOffWidth = 4;
constexpr std::size_t kOffHeight = 8;
constexpr std::size_t kOffPlanes = 12;
constexpr std::size_t kOffBitCount = 14;
constexpr std::size_t kOffCompression = 16;
constexpr std::size_t kOffSizeImage = 20;
constexpr std::size_t kOffClrUsed = 32;
constexpr std::size_t kOffGreenMask = 44;  // in a 52-byte or larger header

[[noreturn]] void NotValid() { throw EInvalidGraphic("Bitmap image is not valid"); }

// Reads the info header and returns it in its 40-byte (or larger) form.
std::vector<std::uint8_t> ReadInfoHeader(TStreamReader& reader, bool& is_core) {
  std::array<std::uint8_t, 4> size_bytes;
  reader.ReadExact(size_bytes.data(), size_bytes.size());
  const std::uint32_t size = TByteReader(size_bytes).U32(0);
  is_core = size == kCoreHeaderSize;

  if (is_core) {
    std::array<std::uint8_t, 8> core_bytes;
    reader.ReadExact(core_bytes.data(), core_bytes.size());
    const TByteReader core(core_bytes);
    std::vector<std::uint8_t> header(kInfoHeaderSize, 0);
    PutU32(header, 0, kInfoHeaderSize);
    PutU32(header, kOffWidth, core.U16(0));   // unsigned 16-bit in the core form
    PutU32(header, kOffHeight, core.U16(2));  // so always stored bottom row first
    PutU16(header, kOffPlanes, core.U16(4));
    PutU16(header, kOffBitCount, core.U16(6));
    return header;
  }
  // Sizes between the two known forms name no header that anyone writes.
  if (size < kInfoHeaderSize || size > kMaxInfoHeaderSize) NotValid();
  // A file that ends inside the fixed 40 bytes is cut short; one that only ends inside the
  // extra bytes it declares names a header that is not there.
  if (reader.Remaining() < kInfoHeaderSize - 4) throw EReadError();
  if (reader.Remaining() < size - 4) NotValid();
  std::vector<std::uint8_t> header(size);
  PutU32(header, 0, size);
  reader.ReadExact(header.data() + 4, size - 4);
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
  std::array<std::uint8_t, kFileHeaderSize> file_header;
  reader.ReadExact(file_header.data(), file_header.size());
  // Only the magic counts; the declared size and pixel offset are not trusted.
  if (file_header[0] != 'B' || file_header[1] != 'M') NotValid();

  bool is_core = false;
  platform::TBitmapImageSpec spec;
  spec.header = ReadInfoHeader(reader, is_core);
  const TByteReader header(spec.header);
  const std::int32_t width = header.I32(kOffWidth);
  const std::int32_t stored_height = header.I32(kOffHeight);
  const std::uint16_t planes = header.U16(kOffPlanes);
  const std::uint16_t bit_count = header.U16(kOffBitCount);
  const std::uint32_t compression = header.U32(kOffCompression);
  const std::uint32_t size_image = header.U32(kOffSizeImage);
  const std::uint32_t colors_used = header.U32(kOffClrUsed);

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
    green_mask = TByteReader(spec.color_table).U32(4);
  } else if (spec.header.size() >= kMasksInHeaderSize) {
    green_mask = header.U32(kOffGreenMask);
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
