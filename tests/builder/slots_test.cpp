// What browsing or dropping a file does to a slot, which messages follow, and the input check.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/errors.h"
#include "builder/boot_screen_builder.h"
#include "platform/wimgapi.h"
#include "support/recording_ui.h"
#include "support/shown_texts.h"
#include "support/test_files.h"

namespace marivane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using test::MakeBitmap;
namespace shown = test::shown;

class Slots : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const test::Bytes& bytes) { return dir_.Write(name, bytes); }
  std::string SmallBitmap() { return Write("small.bmp", MakeBitmap({})); }
  std::string BigBitmap() { return Write("big.bmp", MakeBitmap({.width = 1024, .height = 768})); }

  test::TempDir dir_;
  test::RecordingUserInterface ui_;
  TBootScreenBuilder builder_{ui_};
};

TEST_F(Slots, BrowsedPicturesThatFitBringNoMessage) {
  builder_.LoadBrowsedFile(TSlot::Small, SmallBitmap());
  builder_.LoadBrowsedFile(TSlot::Big, BigBitmap());
  EXPECT_THAT(ui_.Texts(), IsEmpty());
  EXPECT_EQ(builder_.SmallImagePath, dir_.PathOf("small.bmp"));
  EXPECT_EQ(builder_.BigImagePath, dir_.PathOf("big.bmp"));
  EXPECT_TRUE(builder_.IsSmallImageValid());
  EXPECT_TRUE(builder_.IsBigImageValid());
}

TEST_F(Slots, PictureOfTheOtherSlotsSizeLoadsAndIsRejected) {
  builder_.LoadBrowsedFile(TSlot::Big, SmallBitmap());
  builder_.LoadBrowsedFile(TSlot::Small, BigBitmap());
  EXPECT_THAT(ui_.Texts(), ElementsAre(shown::kBigRejection, shown::kSmallRejection));
  // Loaded all the same: the preview shows it and the path names it.
  EXPECT_EQ(builder_.BigPicture.width(), 800);
  EXPECT_EQ(builder_.SmallImagePath, dir_.PathOf("big.bmp"));
}

TEST_F(Slots, EveryWrongSizeOrDepthIsRejected) {
  for (const test::BitmapSpec& spec : {test::BitmapSpec{.width = 801}, test::BitmapSpec{.height = 601},
                                       test::BitmapSpec{.bit_count = 32}, test::BitmapSpec{.bit_count = 16},
                                       test::BitmapSpec{.bit_count = 8}}) {
    builder_.LoadBrowsedFile(TSlot::Small, Write("x.bmp", MakeBitmap(spec)));
  }
  builder_.LoadBrowsedFile(TSlot::Small, Write("rle.bmp", MakeBitmap({.bit_count = 8, .compression = 1,
                                                                      .pixels = test::MakeRle8(800, 600)})));
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>(6, shown::kSmallRejection));
}

TEST_F(Slots, BrowsedLoadErrorReachesTheCallerAndLeavesTheSlotAsItWas) {
  const std::string good = SmallBitmap();
  builder_.LoadBrowsedFile(TSlot::Small, good);
  const auto image = builder_.SmallPicture.image();

  const std::string damaged = Write("bad.bmp", test::Bytes{'B', 'M', 0, 0});
  EXPECT_THROW(builder_.LoadBrowsedFile(TSlot::Small, damaged), EReadError);
  EXPECT_THROW(builder_.LoadBrowsedFile(TSlot::Small, Write("photo.jpg", {1})), EInvalidGraphic);
  // The path keeps naming the file whose picture the slot still holds, so that a save never
  // stages a file that failed to load.
  EXPECT_EQ(builder_.SmallImagePath, good);
  EXPECT_EQ(builder_.SmallPicture.image(), image);
  EXPECT_THAT(ui_.Texts(), IsEmpty());
}

TEST_F(Slots, DroppedInvalidPictureBecomesTheDropMessage) {
  test::Bytes gif = {'G', 'I', 'F', '8', '9', 'a'};
  gif.resize(64);
  builder_.LoadDroppedFile(TSlot::Small, Write("photo.JPG", MakeBitmap({})));
  builder_.LoadDroppedFile(TSlot::Big, Write("gif.bmp", gif));
  EXPECT_THAT(ui_.Texts(), ElementsAre(shown::kUnsupportedDrop, shown::kUnsupportedDrop));
  EXPECT_EQ(builder_.SmallImagePath, "");
  EXPECT_EQ(builder_.BigPicture.kind(), TPictureKind::Empty);
}

TEST_F(Slots, DroppedFileCutShortGivesTheReadErrorNotTheDropMessage) {
  EXPECT_THROW(builder_.LoadDroppedFile(TSlot::Small, Write("x.bmp", test::Bytes(10, 'B'))), EReadError);
  EXPECT_THROW(builder_.LoadDroppedFile(TSlot::Small, dir_.PathOf("missing.bmp")), EFOpenError);
  EXPECT_THAT(ui_.Texts(), IsEmpty());
}

TEST_F(Slots, DroppedValidPictureFillsTheSlot) {
  builder_.LoadDroppedFile(TSlot::Big, BigBitmap());
  EXPECT_THAT(ui_.Texts(), IsEmpty());
  EXPECT_EQ(builder_.BigImagePath, dir_.PathOf("big.bmp"));
  EXPECT_TRUE(builder_.IsBigImageValid());
}

TEST_F(Slots, EmptyFileEmptiesThePictureAndIsRejected) {
  builder_.LoadBrowsedFile(TSlot::Small, SmallBitmap());
  builder_.LoadDroppedFile(TSlot::Small, Write("x.bmp", {}));
  EXPECT_THAT(ui_.Texts(), ElementsAre(shown::kSmallRejection));
  EXPECT_EQ(builder_.SmallPicture.kind(), TPictureKind::Bitmap);
  EXPECT_EQ(builder_.SmallPicture.width(), 0);
  EXPECT_EQ(builder_.SmallPicture.image(), nullptr);
}

TEST_F(Slots, IconIsShownThenRejected) {
  builder_.LoadBrowsedFile(TSlot::Small, Write("x.ico", test::MakeIcon()));
  EXPECT_THAT(ui_.Texts(), ElementsAre(shown::kSmallRejection));
  // Its size already fails, so it is never taken as a bitmap and stays in the preview.
  EXPECT_EQ(builder_.SmallPicture.kind(), TPictureKind::Icon);
}

TEST_F(Slots, MetafileOfTheSlotsSizeIsRejectedAndLeavesAnEmptyBitmap) {
  builder_.LoadBrowsedFile(TSlot::Big, Write("x.emf", test::MakeEnhancedMetafile(1024, 768)));
  EXPECT_THAT(ui_.Texts(), ElementsAre(shown::kBigRejection));
  EXPECT_EQ(builder_.BigPicture.kind(), TPictureKind::Bitmap);
  EXPECT_EQ(builder_.BigPicture.image(), nullptr);
}

class InputCheck : public Slots {
 protected:
  ~InputCheck() override { wimgapi::WIMGAPILoaded = saved_loaded_; }
  bool saved_loaded_ = wimgapi::WIMGAPILoaded;
};

TEST_F(InputCheck, WithBothSlotsEmptyShowsOnlyTheSmallSlotsMessage) {
  EXPECT_FALSE(builder_.ValidateInputs());
  EXPECT_THAT(ui_.Texts(), ElementsAre(shown::kSmallRejection));
}

TEST_F(InputCheck, WithOnlyTheSmallSlotValidShowsTheBigSlotsMessage) {
  builder_.LoadBrowsedFile(TSlot::Small, SmallBitmap());
  EXPECT_FALSE(builder_.ValidateInputs());
  EXPECT_THAT(ui_.Texts(), ElementsAre(shown::kBigRejection));
}

TEST_F(InputCheck, WithBothValidDependsOnlyOnTheImagingLibrary) {
  builder_.LoadBrowsedFile(TSlot::Small, SmallBitmap());
  builder_.LoadBrowsedFile(TSlot::Big, BigBitmap());
  wimgapi::WIMGAPILoaded = false;
  EXPECT_FALSE(builder_.ValidateInputs());
  EXPECT_THAT(ui_.Texts(), ElementsAre(shown::kWimgapiMissing));

  ui_.shown.clear();
  wimgapi::WIMGAPILoaded = true;
  EXPECT_TRUE(builder_.ValidateInputs());
  EXPECT_THAT(ui_.Texts(), IsEmpty());
}

TEST_F(InputCheck, JudgesThePicturesWithoutReadingTheFilesAgain) {
  builder_.LoadBrowsedFile(TSlot::Small, SmallBitmap());
  builder_.LoadBrowsedFile(TSlot::Big, BigBitmap());
  std::filesystem::remove(dir_.PathOf("small.bmp"));
  wimgapi::WIMGAPILoaded = true;
  EXPECT_TRUE(builder_.ValidateInputs());
}

}  // namespace
}  // namespace marivane
