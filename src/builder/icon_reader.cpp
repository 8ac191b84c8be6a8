// Icon files: a 6-byte header (reserved, type, count), 16-byte directory entries, then the
// images, each a DIB or a PNG. The first image is the one shown.
#include <array>

#include "base/bitmap_format.h"
#include "base/byte_reader.h"
#include "base/errors.h"
#include "builder/picture.h"

namespace marivane {
namespace {

// A single icon image larger than this (a 256 x 256 picture at 32 bits takes 256 KiB) is not
// one anybody drew.
constexpr std::uint32_t kMaxIconImageBytes = 16u << 20;

[[noreturn]] void NotValid() { throw EInvalidGraphic("Icon image is not valid"); }

}  // namespace

TPicture ReadIconFile(TStream& stream) {
  TStreamReader reader(stream);
  std::array<std::uint8_t, sizeof(TIconHeaderDisk)> header_bytes;
  reader.ReadExact(header_bytes.data(), header_bytes.size());
  const TByteReader header(header_bytes);
  const std::uint16_t type = header.U16(offsetof(TIconHeaderDisk, type));
  const std::uint16_t count = header.U16(offsetof(TIconHeaderDisk, count));
  if (type != 0 && type != 1) NotValid();
  if (count == 0) NotValid();

  std::array<std::uint8_t, sizeof(TIconEntryDisk)> entry_bytes;
  reader.ReadExact(entry_bytes.data(), entry_bytes.size());
  const TByteReader entry(entry_bytes);
  const std::uint32_t image_bytes = entry.U32(offsetof(TIconEntryDisk, bytes));
  const std::uint32_t image_offset = entry.U32(offsetof(TIconEntryDisk, image_offset));
  const std::uint64_t directory_end =
      sizeof(TIconHeaderDisk) + std::uint64_t{count} * sizeof(TIconEntryDisk);
  // The image must lie past the directory and inside the file.
  if (image_bytes == 0 || image_bytes > kMaxIconImageBytes || image_offset < directory_end ||
      image_offset + std::uint64_t{image_bytes} > stream.Size())
    NotValid();

  // Skip the rest of the directory and any gap up to the image.
  const std::uint64_t gap = image_offset - stream.Position();
  if (gap > kMaxIconImageBytes) NotValid();
  reader.Skip(gap);
  const std::vector<std::uint8_t> image = reader.ReadExact(image_bytes);

  // A width or height byte of 0 stands for 256 or more, which an icon does not report: it
  // shows at the system's icon size instead.
  const std::uint8_t stored_width = entry.U8(offsetof(TIconEntryDisk, width));
  const std::uint8_t stored_height = entry.U8(offsetof(TIconEntryDisk, height));
  const int width = stored_width != 0 ? stored_width : platform::SystemIconSize();
  const int height = stored_height != 0 ? stored_height : platform::SystemIconSize();
  auto display = platform::CreateIconImage(image, width, height);
  if (!display) NotValid();
  return TPicture::FromIcon(width, height, std::move(display));
}

}  // namespace marivane
