// Pictures decoded by the Windows Imaging Component, as Wine provides it: the pixels of a
// palette GIF and of a PNG with alpha, and each way a file can fail with the text it gets.
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
  return platform::ProgramFolder() + "pictures\\" + name;
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
  struct TCase {
    std::string name;
    Bytes bytes;
    std::string text_after_name;
  };
  const TCase cases[] = {
      {"notes.png", Bytes(300, 'x'),
       "\": it is not a PNG, JPEG, GIF, TIFF, BMP or ICO picture"},
      {"cut.png", Bytes(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(png.size() / 2)),
       "\": the PNG data is damaged (error 0x"},
      {"huge.bmp", huge_header,
       "\": the picture is 10000 x 5000 pixels, more than the 40 megapixels this program takes"},
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
