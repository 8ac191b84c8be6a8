// Pictures decoded by the Windows Imaging Component, as Wine provides it, and by the Linux
// libraries: the pixels of a palette GIF and of a PNG with alpha, and each way a file can fail
// with the text it gets, the same on both.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/errors.h"
#include "platform/picture_decoder.h"
#include "platform/platform.h"
#include "support/test_files.h"

namespace marivane::test {
namespace {

using platform::DecodePictureFile;

// Made by ImageMagick at build time (tests/platform/CMakeLists.txt).
std::string Made(const std::string& name) {
  return platform::ProgramFolder() + "pictures" + platform::kPathSeparator + name;
}

// Blue, green, red, alpha of the pixel at x, y.
std::uint32_t Pixel(const platform::TDecodedPicture& picture, int x, int y) {
  const std::size_t at = (static_cast<std::size_t>(y) * picture.width + x) * 4;
  return picture.bgra[at] | picture.bgra[at + 1] << 8 | picture.bgra[at + 2] << 16 |
         static_cast<std::uint32_t>(picture.bgra[at + 3]) << 24;
}

TEST(PictureDecoder, GivesStraightBgraForPaletteAndAlphaPictures) {
  const auto gif = DecodePictureFile(Made("palette.gif"));
  ASSERT_EQ(gif.width, 64);
  ASSERT_EQ(gif.height, 48);
  ASSERT_EQ(gif.bgra.size(), 64u * 48 * 4);
  EXPECT_EQ(Pixel(gif, 0, 0), 0xFFFFFF00u) << "yellow, opaque";
  EXPECT_EQ(Pixel(gif, 63, 47), 0xFF0000FFu) << "blue";

  const auto png = DecodePictureFile(Made("alpha.png"));
  ASSERT_EQ(png.width, 40);
  // Half-transparent red: the colour is not premultiplied.
  const std::uint32_t pixel = Pixel(png, 20, 15);
  EXPECT_EQ(pixel & 0xFFFFFF, 0xFF0000u);
  EXPECT_NEAR(pixel >> 24, 128, 1);
}

TEST(PictureDecoder, RefusesEachBadFileWithItsOwnText) {
  TempDir dir;
  const Bytes png = ReadFileBytes(Made("alpha.png"));
  // A header of 10000 x 5000 pixels and almost nothing after it: refused by its size alone.
  Bytes huge_header = MakeBitmap({.width = 10000, .height = 5000, .pixels = Bytes(16)});
  // The signature and a header of 65535 x 65535 (RGBA, 8 bits): WIC under Wine set out to
  // allocate all of it and said "Out of memory".
  const Bytes huge_png = {0x89, 'P',  'N', 'G', '\r', '\n', 0x1A, '\n', 0,    0,    0,
                          13,   'I',  'H', 'D', 'R',  0,    0,    0xFF, 0xFF, 0,    0,
                          0xFF, 0xFF, 8,   6,   0,    0,    0,    0xB6, 0x05, 0xD9, 0x50};
  // The same as an icon's one image (33 bytes from +22), which WIC decoded as the frame came.
  Bytes huge_icon = {0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 32, 0, 33, 0, 0, 0, 22, 0, 0, 0};
  huge_icon.reserve(huge_icon.size() + huge_png.size());
  huge_icon.insert(huge_icon.end(), huge_png.begin(), huge_png.end());
  // A progressive frame of 6000 x 6000, one component, then 600 scans of a byte each: WIC
  // decoded the like for minutes.
  Bytes scans = {0xFF, 0xD8, 0xFF, 0xC2, 0, 11, 8, 0x17, 0x70, 0x17, 0x70, 1, 1, 0x11, 0};
  for (int i = 0; i < 600; ++i) scans.insert(scans.end(), {0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 0, 0, 0});
  scans.insert(scans.end(), {0xFF, 0xD9});
  struct TCase {
    std::string name;
    Bytes bytes;
    std::string text_after_name;
  };
  const TCase cases[] = {
      {"notes.png", Bytes(300, 'x'),
       "\": it is not a PNG, JPEG, GIF, TIFF, BMP or ICO picture"},
      {"cut.png", Bytes(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(png.size() / 2)),
       "\": the PNG data is damaged ("},
      {"huge.bmp", huge_header,
       "\": the picture is 10000 x 5000 pixels, more than the 40 megapixels this program takes"},
      {"huge.png", huge_png,
       "\": the picture is 65535 x 65535 pixels, more than the 40 megapixels this program takes"},
      {"huge.ico", huge_icon,
       "\": the picture is 65535 x 65535 pixels, more than the 40 megapixels this program takes"},
      {"scans.jpg", scans,
       "\": the JPEG picture has 600 scans, more than the 500 this program takes"},
      // A layout the decoder has no way to turn into BGRA: not supported, rather than damaged.
      {"cmyk16.tif", ReadFileBytes(Made("cmyk16.tif")),
       "\": this kind of TIFF picture is not supported ("},
  };
  for (const TCase& c : cases) {
    const std::string path = dir.Write(c.name, c.bytes);
    try {
      DecodePictureFile(path);
      ADD_FAILURE() << c.name << " decoded";
    } catch (const EInvalidGraphic& error) {
      EXPECT_EQ(std::string(error.what()).rfind("Cannot import \"" + path + c.text_after_name, 0),
                0u)
          << error.what();
    }
  }
  const std::string missing = dir.PathOf("missing.png");
  try {
    DecodePictureFile(missing);
    ADD_FAILURE() << "a missing file decoded";
  } catch (const EFOpenError& error) {
    EXPECT_EQ(std::string(error.what()).rfind("Cannot open file \"" + missing + "\". ", 0), 0u)
        << error.what();
  }
}

}  // namespace
}  // namespace marivane::test
