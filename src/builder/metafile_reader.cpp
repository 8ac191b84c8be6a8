// Metafiles, under either extension: an enhanced metafile (EMF) whole, or a Windows metafile
// behind the 22-byte "placeable" header that gives its size.
#include <algorithm>
#include <array>
#include <cstdint>

#include "base/byte_reader.h"
#include "base/errors.h"
#include "builder/picture.h"

namespace marivane {
namespace {

// EMR_HEADER record: +0 type 1, +24 rclFrame in hundredths of a millimetre, +40 " EMF".
constexpr std::uint32_t kEmrHeader = 1;
constexpr std::uint32_t kEnhMetaSignature = 0x464D4520;
constexpr std::size_t kEmfSignatureOffset = 40;
constexpr std::size_t kEmfFrameOffset = 24;
constexpr std::uint64_t kMinEmfBytes = 101;  // "more than 100 bytes" before it counts as EMF
constexpr int kHundredthMillimetresPerInch = 2540;

// Placeable header: +0 key, +6 bounding box (4 x int16), +14 units per inch, +20 checksum (the
// XOR of the ten 16-bit words before it).
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableSize = 22;
constexpr std::size_t kPlaceableBoxOffset = 6;
constexpr std::size_t kPlaceableInchOffset = 14;
constexpr std::size_t kPlaceableChecksumOffset = 20;
// The Windows metafile header after it: +0 type (1 memory, 2 disk), +2 header size in words.
constexpr std::size_t kMetaHeaderSize = 18;

// Metafiles are records of drawing calls; one the size of a picture file is far below this.
constexpr std::uint64_t kMaxMetafileBytes = 64ull << 20;

[[noreturn]] void NotValid() { throw EInvalidGraphic("Metafile is not valid"); }

int ScaleToScreen(std::int64_t extent, std::int64_t units_per_inch) {
  const std::int64_t pixels = extent * platform::ScreenPixelsPerInch() / units_per_inch;
  return static_cast<int>(std::clamp<std::int64_t>(pixels, INT32_MIN, INT32_MAX));
}

}  // namespace

TPicture ReadMetafileFile(TStream& stream) {
  TStreamReader reader(stream);
  const std::uint64_t remaining = reader.Remaining();
  if (remaining > kMaxMetafileBytes) NotValid();
  const std::vector<std::uint8_t> bytes = reader.ReadExact(static_cast<std::size_t>(remaining));
  const TByteReader file(bytes);

  if (bytes.size() >= kMinEmfBytes && file.U32(0) == kEmrHeader &&
      file.U32(kEmfSignatureOffset) == kEnhMetaSignature) {
    // The frame: left, top, right, bottom.
    const std::int64_t frame_width =
        std::int64_t{file.I32(kEmfFrameOffset + 8)} - file.I32(kEmfFrameOffset);
    const std::int64_t frame_height =
        std::int64_t{file.I32(kEmfFrameOffset + 12)} - file.I32(kEmfFrameOffset + 4);
    auto display = platform::CreateMetafileImage(bytes, platform::TMetafileKind::Enhanced);
    if (!display) NotValid();
    return TPicture::FromMetafile(ScaleToScreen(frame_width, kHundredthMillimetresPerInch),
                                  ScaleToScreen(frame_height, kHundredthMillimetresPerInch),
                                  std::move(display));
  }

  if (bytes.size() < kPlaceableSize + kMetaHeaderSize || file.U32(0) != kPlaceableKey)
    NotValid();
  std::uint16_t checksum = 0;
  for (std::size_t i = 0; i < kPlaceableChecksumOffset; i += 2) checksum ^= file.U16(i);
  if (checksum != file.U16(kPlaceableChecksumOffset)) NotValid();
  const std::uint16_t units_per_inch = file.U16(kPlaceableInchOffset);
  if (units_per_inch == 0) NotValid();
  const std::uint16_t meta_type = file.U16(kPlaceableSize);
  if ((meta_type != 1 && meta_type != 2) || file.U16(kPlaceableSize + 2) != kMetaHeaderSize / 2)
    NotValid();

  // The bounding box: left, top, right, bottom.
  const std::int64_t box_width =
      std::int64_t{file.I16(kPlaceableBoxOffset + 4)} - file.I16(kPlaceableBoxOffset);
  const std::int64_t box_height =
      std::int64_t{file.I16(kPlaceableBoxOffset + 6)} - file.I16(kPlaceableBoxOffset + 2);
  const std::vector<std::uint8_t> records(bytes.begin() + kPlaceableSize, bytes.end());
  auto display = platform::CreateMetafileImage(records, platform::TMetafileKind::Windows);
  if (!display) NotValid();
  return TPicture::FromMetafile(ScaleToScreen(box_width, units_per_inch),
                                ScaleToScreen(box_height, units_per_inch), std::move(display));
}

}  // namespace marivane
