// Importing any picture into a slot: decoded by the platform, turned upright by its EXIF
// orientation, its alpha composed over black, scaled to the slot's size in the mode the user
// picks, and written as a 24-bit bitmap that the slot's own check then judges as usual.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/picture_decoder.h"

namespace marivane {

enum class TImportMode {
  Fill,     // covers the slot, the overflow cropped evenly on both sides
  Fit,      // the whole picture, black bars where the shapes differ
  Stretch,  // the whole picture, pulled to the slot's shape
};

// An opaque picture: top-down rows, 3 bytes a pixel (blue, green, red), no row padding.
struct TRgbImage {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> bgr;
};

// The EXIF orientation (1 to 8) in a JPEG's APP1 segment, or a TIFF's first IFD; 1 when the
// file carries none or it cannot be read.
int ExifOrientation(std::span<const std::uint8_t> file);

// The decoded picture turned upright for `orientation` (1 to 8, as EXIF numbers them; any
// other value is taken as 1), its alpha composed over black.
TRgbImage UprightOpaque(const platform::TDecodedPicture& picture, int orientation);

// Decodes the file at `path` and turns it upright; raises as platform::DecodePictureFile does.
TRgbImage LoadImportPicture(const std::string& path);

// The picture scaled to width x height in `mode`.
TRgbImage ScaleToSlot(const TRgbImage& source, std::int32_t width, std::int32_t height,
                      TImportMode mode);

// A whole .bmp file: BITMAPFILEHEADER, a 40-byte BITMAPINFOHEADER, bottom-up 24-bit rows.
std::vector<std::uint8_t> EncodeBitmap24(const TRgbImage& image);

// The name of the prepared bitmap beside `source_path`: "<name>-800x600.bmp" for a picture
// "<name>.<ext>" and a slot of 800 x 600.
std::string PreparedPictureName(const std::string& source_path, std::int32_t width,
                                std::int32_t height);

// The kind of photo that the file's first bytes announce, whatever its name: one the import
// takes and the slots do not ("JPEG", "PNG", "GIF", "TIFF"); empty for anything else.
std::string PhotoKind(const std::string& path);

}  // namespace marivane
