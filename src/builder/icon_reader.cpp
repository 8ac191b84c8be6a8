// Icon files: a 6-byte header (reserved, type, count), 16-byte directory entries, then the
// images, each a DIB or a PNG. The first image is the one shown.
#include <array>

#include "base/byte_reader.h"
#include "base/errors.h"
#include "builder/picture.h"

namespace marivane {
namespace {

constexpr std::size_t kIconHeaderSize = 6;
constexpr std::size_t kDirEntrySize = 16;
// +8: size of the image in bytes, +12: its offset from the start of the file.
constexpr std::size_t kEntryBytesOffset = 8;
constexpr std::size_t kEntryImageOffset = 12;
// A single icon image larger than this (a 256 x 256 picture at 32 bits takes 256 KiB) is not
// one anybody drew.
constexpr std::uint32_t kMaxIconImageBytes = 16u << 20;

[[noreturn]] void NotValid() { throw EInvalidGraphic("Icon image is not valid"); }

}  // namespace

TPicture ReadIconFile(TStream& stream) {
  TStreamReader reader(stream);
  std::array<std::uint8_t, kIconHeaderSize> header_bytes;
  reader.ReadExact(header_bytes.data(), header_bytes.size());
  const TByteReader header(header_bytes);
  const std::uint16_t type = header.U16(2);
  const std::uint16_t count = header.U16(4);
  if (type != 0 && type != 1) NotValid();
  if (count == 0) NotValid();

  std::array<std::uint8_t, kDirEntrySize> entry_bytes;
  reader.ReadExact(entry_bytes.data(), entry_bytes.size());
  const TByteReader entry(entry_bytes);
  const std::uint32_t image_bytes = entry.U32(kEntryBytesOffset);
  const std::uint32_t image_offset = entry.U32(kEntryImageOffset);
  const std::uint64_t directory_end = kIconHeaderSize + std::uint64_t{count} * kDirEntrySize;
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
  const int width = entry.U8(0) != 0 ? entry.U8(0) : platform::SystemIconSize();
  const int height = entry.U8(1) != 0 ? entry.U8(1) : platform::SystemIconSize();
  auto display = platform::CreateIconImage(image, width, height);
  if (!display) NotValid();
  return TPicture::FromIcon(width, height, std::move(display));
}

}  // namespace marivane
