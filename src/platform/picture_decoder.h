// Pictures of the common kinds (PNG, JPEG, GIF, TIFF, BMP of any depth, ICO) decoded to plain
// pixels, for importing into a slot. Windows decodes through the Windows Imaging Component;
// Linux through the distribution's decoder libraries. Nothing here turns or scales a picture:
// the builder does that the same way on every platform.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace marivane::platform {

// The largest picture decoded, in pixels: a 40-megapixel photo takes 160 MB as BGRA, which a
// 32-bit process can still hold; anything larger is refused before its pixels are allocated.
constexpr std::uint64_t kMaxDecodedPixels = 40'000'000;

// A progressive JPEG may hold any number of scans, each a pass over the whole picture; a real
// one has a dozen or so, a hostile one thousands to keep the decoder busy for minutes.
constexpr std::uint64_t kMaxJpegScans = 500;

struct TDecodedPicture {
  std::int32_t width = 0;
  std::int32_t height = 0;
  // Top-down rows, 4 bytes a pixel: blue, green, red and straight (not premultiplied) alpha,
  // 255 for an opaque picture. Exactly width * height * 4 bytes.
  std::vector<std::uint8_t> bgra;
};

// Decodes the first frame of the picture file at `path` as it is stored (no EXIF turn).
// Raises EFOpenError when the file cannot be opened, EInvalidGraphic with a text that names
// the file and what is wrong when it is not a picture this can decode, is damaged, or is
// larger than kMaxDecodedPixels.
TDecodedPicture DecodePictureFile(const std::string& path);

// For the decoders: EInvalidGraphic "Cannot import \"NAME\": REASON".
[[noreturn]] void RefusePicture(const std::string& name, const std::string& reason);

// For the decoders, before one is let loose on a file's bytes: refuses, as RefusePicture does,
// a PNG (an icon's too), JPEG, GIF or TIFF whose headers declare no pixels or more than
// kMaxDecodedPixels, and a JPEG of more than kMaxJpegScans scans (picture_limits.cpp).
// Headers it cannot make out are left to the decoder.
void CheckPictureLimits(std::span<const std::uint8_t> file, const std::string& name);

// For the decoders: refuses a picture of no pixels or of more than kMaxDecodedPixels, before
// anything is allocated for it.
void CheckPictureSize(const std::string& name, std::uint64_t width, std::uint64_t height);

}  // namespace marivane::platform
