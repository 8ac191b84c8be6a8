// Loading picture files as a slot does: the kinds, the bitmap header variants, the pixel
// formats, and every way a file can be refused, with the texts the user sees.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <functional>

#include "base/errors.h"
#include "builder/picture.h"
#include "support/test_files.h"

namespace marivane {
namespace {

using test::BitmapSpec;
using test::Bytes;
using test::MakeBitmap;

struct Loaded {
  std::string kind;  // "bitmap 800x600 24-bit", or the error text as the default handler shows it
};

std::string Describe(const TPicture& picture) {
  std::string text = std::string(PictureKindName(picture.kind())) + " " +
                     std::to_string(picture.width()) + "x" + std::to_string(picture.height());
  if (picture.kind() == TPictureKind::Bitmap) text += std::string(" ") + PixelFormatName(picture.pixel_format());
  return text;
}

std::string LoadAndDescribe(const std::string& path) {
  TPicture picture;
  try {
    LoadPictureFile(picture, path);
  } catch (const Exception& error) {
    return DefaultHandlerText(error.what());
  }
  return Describe(picture);
}

Bytes Truncated(Bytes bytes, std::size_t size) {
  bytes.resize(size);
  return bytes;
}

// The content is made only when the case runs: every test process builds the whole table.
struct FileCase {
  const char* name;
  const char* file_name;
  std::function<Bytes()> content;
  const char* expected;
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

Bytes SmallBitmap() { return MakeBitmap({}); }
Bytes Rle8(std::int32_t height = 600) {
  return MakeBitmap({.height = height, .bit_count = 8, .compression = 1, .pixels = test::MakeRle8(800, 600)});
}
Bytes Gif() {
  Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'};
  gif.resize(64, 0);
  return gif;
}

std::vector<FileCase> BitmapCases() {
  return {
      {"Small24", "a.bmp", SmallBitmap, "bitmap 800x600 24-bit"},
      {"Big24", "a.bmp", [] { return MakeBitmap({.width = 1024, .height = 768}); }, "bitmap 1024x768 24-bit"},
      {"TopDown", "a.bmp", [] { return MakeBitmap({.height = -600}); }, "bitmap 800x600 24-bit"},
      {"CoreHeader", "a.bmp", [] { return MakeBitmap({.header_size = 12}); }, "bitmap 800x600 24-bit"},
      {"Header52", "a.bmp", [] { return MakeBitmap({.header_size = 52}); }, "bitmap 800x600 24-bit"},
      {"Header56", "a.bmp", [] { return MakeBitmap({.header_size = 56}); }, "bitmap 800x600 24-bit"},
      {"Header108", "a.bmp", [] { return MakeBitmap({.header_size = 108}); }, "bitmap 800x600 24-bit"},
      {"Header124", "a.bmp", [] { return MakeBitmap({.header_size = 124}); }, "bitmap 800x600 24-bit"},
      {"UpperCaseExtension", "IMAGE.BMP", SmallBitmap, "bitmap 800x600 24-bit"},
      {"ColourTableAt24Bits", "a.bmp", [] { return MakeBitmap({.colors_used = 3}); }, "bitmap 800x600 24-bit"},
      {"CutInsidePixels", "a.bmp", [] { return Truncated(SmallBitmap(), 700000); }, "bitmap 800x600 24-bit"},
      {"ExtraAfterPixels", "a.bmp",
       [] {
         Bytes b = SmallBitmap();
         b.resize(b.size() + 99, 7);
         return b;
       },
       "bitmap 800x600 24-bit"},
      {"Depth32", "a.bmp", [] { return MakeBitmap({.bit_count = 32}); }, "bitmap 800x600 32-bit"},
      {"Depth16", "a.bmp", [] { return MakeBitmap({.bit_count = 16}); }, "bitmap 800x600 15-bit"},
      {"Depth16Masks565", "a.bmp", [] { return MakeBitmap({.bit_count = 16, .compression = 3}); },
       "bitmap 800x600 16-bit"},
      {"Depth16Masks565InHeader", "a.bmp",
       [] { return MakeBitmap({.bit_count = 16, .compression = 3, .header_size = 124}); },
       "bitmap 800x600 16-bit"},
      {"Depth16Masks555", "a.bmp",
       [] { return MakeBitmap({.bit_count = 16, .compression = 3, .green_mask = 0x03E0}); },
       "bitmap 800x600 custom"},
      {"Depth32Masks", "a.bmp", [] { return MakeBitmap({.bit_count = 32, .compression = 3}); },
       "bitmap 800x600 custom"},
      {"Depth8", "a.bmp", [] { return MakeBitmap({.bit_count = 8}); }, "bitmap 800x600 8-bit"},
      {"Depth4", "a.bmp", [] { return MakeBitmap({.bit_count = 4}); }, "bitmap 800x600 4-bit"},
      {"Depth1", "a.bmp", [] { return MakeBitmap({.bit_count = 1}); }, "bitmap 800x600 1-bit"},
      {"Rle8", "a.bmp", [] { return Rle8(); }, "bitmap 800x600 device"},
      {"Rle8CutShort", "a.bmp", [] { return Truncated(Rle8(), 3000); }, "bitmap 800x600 device"},
      // An image-size field far past the end: the bytes that are there are taken, nothing more
      // is allocated, and the slot judges the picture as usual.
      {"HugeRleSize", "a.bmp",
       [] { return MakeBitmap({.bit_count = 8, .compression = 1, .size_image = 0xFFFFFFF0, .pixels = {0, 1}}); },
       "bitmap 800x600 device"},
      {"HugeBitfieldsSize", "a.bmp",
       [] { return MakeBitmap({.bit_count = 16, .compression = 3, .size_image = 0xFFFFFFF0}); },
       "bitmap 800x600 16-bit"},
      {"EmptyFile", "x.bmp", [] { return Bytes{}; }, "bitmap 0x0 device"},
  };
}

std::vector<FileCase> RefusedCases() {
  constexpr const char* kNotValid = "Bitmap image is not valid.";
  return {
      {"TenBytes", "x.bmp", [] { return Truncated(SmallBitmap(), 10); }, "Stream read error."},
      {"GifNamedBmp", "x.bmp", Gif, kNotValid},
      {"TwoPlanes", "x.bmp", [] { return MakeBitmap({.planes = 2}); }, kNotValid},
      {"HeaderSize20", "x.bmp", [] { return MakeBitmap({.header_size = 20}); }, kNotValid},
      {"EndsInsideFixedHeader", "x.bmp", [] { return Truncated(SmallBitmap(), 14 + 30); },
       "Stream read error."},
      {"EndsInsideDeclaredHeader", "x.bmp",
       [] { return Truncated(MakeBitmap({.header_size = 124}), 14 + 60); }, kNotValid},
      {"ColourTableTooLong", "x.bmp", [] { return MakeBitmap({.bit_count = 8, .colors_used = 300}); },
       kNotValid},
      {"ColourTableCutShort", "x.bmp", [] { return Truncated(MakeBitmap({.bit_count = 8}), 14 + 40 + 100); },
       "Stream read error."},
      {"MasksCutShort", "x.bmp",
       [] { return Truncated(MakeBitmap({.bit_count = 16, .compression = 3}), 14 + 40 + 6); },
       "Stream read error."},
      {"ZeroWidth", "x.bmp", [] { return MakeBitmap({.width = 0, .pixels = {0}}); }, kNotValid},
      {"NegativeWidth", "x.bmp", [] { return MakeBitmap({.width = -800, .pixels = {0}}); }, kNotValid},
      {"ZeroHeight", "x.bmp", [] { return MakeBitmap({.height = 0, .pixels = {0}}); }, kNotValid},
      {"LowestHeight", "x.bmp", [] { return MakeBitmap({.height = INT32_MIN, .pixels = {0}}); }, kNotValid},
      {"Depth24WithMasks", "x.bmp", [] { return MakeBitmap({.compression = 3}); }, kNotValid},
      {"Depth7", "x.bmp", [] { return MakeBitmap({.bit_count = 7, .pixels = {0}}); }, kNotValid},
      {"JpegPayload", "x.bmp", [] { return MakeBitmap({.compression = 4, .pixels = {0}}); }, kNotValid},
      {"RleTopDown", "x.bmp", [] { return Rle8(-600); }, kNotValid},
      // Gigabytes of pixels declared in a few bytes must be refused before any allocation.
      {"HugeDeclaredSize", "x.bmp",
       [] { return MakeBitmap({.width = 60000, .height = 60000, .pixels = {0}}); }, kNotValid},
      {"JpegExtension", "PHOTO.JPG", SmallBitmap, "Unknown picture file extension (.JPG)"},
      {"NoExtension", "picture", SmallBitmap, "Unknown picture file extension (.)"},
      {"TrailingDot", "picture.", SmallBitmap, "Unknown picture file extension (.)"},
      {"IconTypeTwo", "x.ico", [] { return test::MakeIcon(32, 32, 2); }, "Icon image is not valid."},
      {"IconFourBytes", "x.ico", [] { return Truncated(test::MakeIcon(), 4); }, "Stream read error."},
      {"IconImageOutsideFile", "x.ico", [] { return Truncated(test::MakeIcon(), 200); },
       "Icon image is not valid."},
      {"MetafileBadChecksum", "x.wmf", [] { return test::MakePlaceableMetafile(800, 600, false); },
       "Metafile is not valid."},
      {"MetafileNoKey", "x.emf", [] { return Bytes(200, 0); }, "Metafile is not valid."},
      {"MetafileEmpty", "x.wmf", [] { return Bytes{}; }, "Metafile is not valid."},
  };
}

std::vector<FileCase> OtherKindCases() {
  return {
      {"Icon", "x.ico", [] { return test::MakeIcon(); }, "icon 32x32"},
      {"IconWithoutStatedSize", "x.ICO", [] { return test::MakeIcon(0, 0); }, "icon 32x32"},
      {"EnhancedMetafile", "x.emf", [] { return test::MakeEnhancedMetafile(800, 600); }, "metafile 800x600"},
      {"EnhancedMetafileAsWmf", "x.wmf", [] { return test::MakeEnhancedMetafile(640, 480); },
       "metafile 640x480"},
      {"PlaceableMetafile", "x.wmf", [] { return test::MakePlaceableMetafile(1024, 768); },
       "metafile 1024x768"},
  };
}

class PictureLoading : public ::testing::TestWithParam<FileCase> {};

TEST_P(PictureLoading, GivesTheKindSizeAndFormatOrTheUsersErrorText) {
  const test::TempDir dir;
  const std::string path = dir.Write(GetParam().file_name, GetParam().content());
  EXPECT_EQ(LoadAndDescribe(path), GetParam().expected);
}

std::string CaseName(const ::testing::TestParamInfo<FileCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Bitmaps, PictureLoading, ::testing::ValuesIn(BitmapCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Refused, PictureLoading, ::testing::ValuesIn(RefusedCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(IconsAndMetafiles, PictureLoading, ::testing::ValuesIn(OtherKindCases()),
                         CaseName);

TEST(PictureLoadingFromDisk, MissingFileGivesTheOpenErrorWithPathAndSystemText) {
  const test::TempDir dir;
  const std::string path = dir.PathOf("missing.bmp");
  const std::string text = LoadAndDescribe(path);
  const std::string prefix = "Cannot open file \"" + path + "\". ";
  ASSERT_EQ(text.substr(0, prefix.size()), prefix);
  // The system's text, stripped of its own full stop and line break, then the handler's stop.
  const std::string system_text = text.substr(prefix.size());
  ASSERT_GE(system_text.size(), 3u);
  EXPECT_NE(system_text[system_text.size() - 2], '.');
  EXPECT_EQ(system_text.find('\n'), std::string::npos);
}

TEST(PictureLoadingFromDisk, UnlistedExtensionIsRefusedBeforeTheFileIsOpened) {
  const test::TempDir dir;
  EXPECT_EQ(LoadAndDescribe(dir.PathOf("missing.jpg")), "Unknown picture file extension (.jpg)");
}

TEST(PictureLoadingFromDisk, FullStopInAFolderNameIsNoExtension) {
  const test::TempDir dir;
  std::filesystem::create_directory(dir.path() / "holiday.bmp.d");
  const std::string path = dir.Write("holiday.bmp.d/picture", MakeBitmap({}));
  EXPECT_EQ(LoadAndDescribe(path), "Unknown picture file extension (.)");
}

TEST(PictureLoadingFromDisk, FolderNamedLikeABitmapCannotBeOpened) {
  const test::TempDir dir;
  std::filesystem::create_directory(dir.path() / "folder.bmp");
  const std::string path = dir.PathOf("folder.bmp");
  EXPECT_EQ(LoadAndDescribe(path).rfind("Cannot open file \"" + path + "\". ", 0), 0u);
}

// Neither a pipe nobody writes to nor a device is waited on: the open would block for ever on
// the one, the reads on some of the others.
TEST(PictureLoadingFromDisk, PipeOrDeviceIsRefusedWithoutWaiting) {
#ifdef _WIN32
  // A device's name takes any extension: this is the null device, not a file.
  EXPECT_EQ(LoadAndDescribe("NUL.bmp"),
            "Cannot open file \"NUL.bmp\". "
            "It is a pipe, a device or a socket, not a regular file.");
#else
  const test::TempDir dir;
  const std::string pipe = dir.PathOf("pipe.bmp");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const std::string device = dir.PathOf("device.bmp");
  std::filesystem::create_symlink("/dev/zero", device);
  for (const std::string& path : {pipe, device}) {
    std::string text;
    ASSERT_TRUE(test::EndsWithoutAWriter(pipe, [&] { text = LoadAndDescribe(path); })) << path;
    EXPECT_EQ(text, "Cannot open file \"" + path +
                        "\". It is a pipe, a device or a socket, not a regular file.");
  }
#endif
}

TEST(PictureLoadingFromDisk, FailedLoadLeavesThePictureAsItWas) {
  const test::TempDir dir;
  TPicture picture;
  LoadPictureFile(picture, dir.Write("good.bmp", MakeBitmap({})));
  const auto image = picture.image();
  EXPECT_THROW(LoadPictureFile(picture, dir.Write("bad.bmp", Truncated(MakeBitmap({}), 20))),
               EReadError);
  EXPECT_EQ(Describe(picture), "bitmap 800x600 24-bit");
  EXPECT_EQ(picture.image(), image);
}

}  // namespace
}  // namespace marivane
