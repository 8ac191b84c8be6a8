// Importing a picture through the window, as a user does it: the open dialog, the framing
// dialog with its live preview, the bitmap written beside the picture (or where the user says
// when it cannot be), and the slot holding that bitmap through the browse path.
#include "ui_test_support.h"

#include "resources/resource.h"
#include "builder/picture_import.h"
#include "ui/import_dialog.h"

namespace marivane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Made by ImageMagick at build time (tests/platform/CMakeLists.txt).
Bytes Made(const std::string& name) {
  return ReadFileBytes(platform::ProgramFolder() + "pictures\\" + name);
}

// The preview as the dialog draws it, asked for into a bitmap of our own.
COLORREF PreviewPixel(HWND dialog, int x, int y) {
  HWND preview = GetDlgItem(dialog, ui::kImportPreviewId);
  RECT client{};
  GetClientRect(preview, &client);
  platform::TWindowDC screen;
  platform::TMemoryDC dc(CreateCompatibleDC(screen.Get()));
  platform::TBitmapHandle bitmap(CreateCompatibleBitmap(screen.Get(), client.right, client.bottom));
  platform::TSelectObject select(dc.Get(), bitmap.Get());
  SendMessageA(preview, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.Get()), PRF_CLIENT);
  return GetPixel(dc.Get(), x * client.right / 100, y * client.bottom / 100);
}

// Blue, green, red of pixel x, y (top row 0) of a bottom-up 24-bit bitmap file.
std::uint32_t BitmapPixel(const Bytes& file, int width, int height, int x, int y) {
  const std::size_t at = 54 + (static_cast<std::size_t>(height - 1 - y) * width + x) * 3;
  return file.at(at) | file.at(at + 1) << 8 | file.at(at + 2) << 16;
}

using ImportCommand = Windows;

TEST_F(ImportCommand, FramesThePictureWritesItBesideAndFillsTheSlot) {
  // 1200 x 600 red noise: twice as wide as high, so Fit leaves bars above and below.
  const std::string photo = dir_.Write("photo.jpg", Made("wide.jpg"));
  ShowMain();
  std::string open_title, caption;
  COLORREF fill_top = 0, fit_top = 0, fit_middle = 0;
  TDialogDriver driver;
  driver
      .Then([&](HWND dialog) {
        open_title = WindowText(dialog);
        EnterFileName(photo)(dialog);
      })
      .Then([&](HWND dialog) {
        caption = WindowText(dialog);
        fill_top = PreviewPixel(dialog, 50, 2);
        Press(ui::kFitRadioId)(dialog);
        fit_top = PreviewPixel(dialog, 50, 2);
        fit_middle = PreviewPixel(dialog, 50, 50);
        Press(IDOK)(dialog);
      });
  Command(IDM_IMPORT800X600PICTURE);

  ASSERT_EQ(driver.seen.size(), 2u) << "no message: the slot takes the bitmap";
  EXPECT_EQ(open_title, "Import Picture for 800 x 600");
  EXPECT_EQ(caption, "Import Picture for 800 x 600");
  EXPECT_GT(GetRValue(fill_top), 100) << "Fill covers the preview";
  EXPECT_EQ(fit_top, RGB(0, 0, 0)) << "Fit shows the bar, once chosen";
  EXPECT_GT(GetRValue(fit_middle), 100);

  const std::string written = dir_.PathOf("photo-800x600.bmp");
  const Bytes bitmap = ReadFileBytes(written);
  ASSERT_EQ(bitmap.size(), 1'440'054u);
  // Fit: 800 x 400 of picture between two bars of 100 rows.
  EXPECT_EQ(BitmapPixel(bitmap, 800, 600, 400, 90), 0u);
  EXPECT_GT(BitmapPixel(bitmap, 800, 600, 400, 110) >> 16, 100u);
  EXPECT_EQ(BitmapPixel(bitmap, 800, 600, 400, 510), 0u);
  EXPECT_EQ(form_->SmallImagePath, written);
  EXPECT_EQ(form_->SmallPicture.width(), 800);
  EXPECT_TRUE(form_->IsSmallImageValid());
  EXPECT_FALSE(IsWindowVisible(form_->Label1)) << "the preview shows it";
  EXPECT_TRUE(IsWindowEnabled(form_->Handle()));
}

TEST_F(ImportCommand, ReplacesAnExistingBitmapOnlyWhenTheUserAgreesElseSavesItBeside) {
  const std::string picture = dir_.Write("half-red.png", Made("alpha.png"));
  const std::string target = dir_.PathOf("half-red-1024x768.bmp");
  const std::string beside = dir_.PathOf("half-red-1024x768 (2).bmp");
  for (const int answer : {IDNO, IDYES}) {
    dir_.Write("half-red-1024x768.bmp", Bytes{'o', 'l', 'd'});
    ShowMain();
    std::string save_title, proposed;
    TDialogDriver driver;
    driver.Then(EnterFileName(picture)).Then(Press(IDOK)).Then(Press(answer)).Then([&](HWND dialog) {
      // Declined: the save dialog proposes the first free name beside it.
      save_title = WindowText(dialog);
      proposed = FileNameBoxText(dialog);
      Press(IDOK)(dialog);
    });
    Command(IDM_IMPORT1024X768PICTURE);

    ASSERT_EQ(driver.seen.size(), answer == IDNO ? 4u : 3u);
    EXPECT_THAT(driver.seen[2],
                MessageBoxOf("\"" + target + "\" already exists.\r\nDo you want to replace it?",
                             "Marivane", TIcon::Warning));
    const std::string written = answer == IDNO ? beside : target;
    const Bytes now = ReadFileBytes(written);
    ASSERT_EQ(now.size(), 2'359'350u);
    // Red at half alpha, over black.
    EXPECT_NEAR(static_cast<int>(BitmapPixel(now, 1024, 768, 512, 384) >> 16), 128, 2);
    EXPECT_EQ(form_->BigImagePath, written);
    EXPECT_TRUE(form_->IsBigImageValid());
    // Where it went, in the window.
    EXPECT_EQ(WindowText(form_->BigFileName), written.substr(written.rfind('\\') + 1));
    EXPECT_EQ(ToolTipText(form_->Tips.Handle(), form_->GroupBox2.Handle()),
              written + "\nPrepared from " + picture);
    if (answer == IDNO) {
      EXPECT_EQ(ReadFileBytes(target), (Bytes{'o', 'l', 'd'}));
      EXPECT_EQ(save_title, "Save Prepared Picture As");
      EXPECT_THAT(proposed, ::testing::EndsWith("half-red-1024x768 (2).bmp"));
    }
  }
}

// A photo browsed for or dropped on a slot: the import is offered for that slot, and taken it
// fills the slot; declined, nothing of the photo's is kept. A bitmap the slot does not take
// keeps the slot's own rejection (the main window's tests).
TEST_F(ImportCommand, PhotosChosenForASlotAreOfferedForImport) {
  struct Row {
    std::string name;
    Bytes content;
    TSlot slot;
    bool dropped;
    int answer;
    std::string question;
  };
  const Row rows[] = {
      {"photo.jpg", Made("wide.jpg"), TSlot::Small, false, IDYES,
       "\"photo.jpg\" is a photo, not an 800 x 600 24-bit bitmap. Import it, framed for this slot?"},
      // Judged by its content, not its name.
      {"scan.bmp", Made("alpha.png"), TSlot::Big, true, IDYES,
       "\"scan.bmp\" is a photo, not a 1024 x 768 24-bit bitmap. Import it, framed for this slot?"},
      {"logo.gif", Made("palette.gif"), TSlot::Big, true, IDNO,
       "\"logo.gif\" is a photo, not a 1024 x 768 24-bit bitmap. Import it, framed for this slot?"},
  };
  ShowMain();
  for (const Row& row : rows) {
    const std::string path = dir_.Write(row.name, row.content);
    const bool small = row.slot == TSlot::Small;
    TDialogDriver driver;
    if (!row.dropped) driver.Then(EnterFileName(path));
    driver.Then(Press(row.answer));
    if (row.answer == IDYES) driver.Then(Press(IDOK));  // the framing, Fill
    if (row.dropped) {
      HDROP drop = MakeDrop({path});
      Drop((small ? form_->GroupBox1 : form_->GroupBox2).Handle(), drop);
    } else {
      Command(small ? IDM_SELECT800X600IMAGE : IDM_SELECT1024X768IMAGE);
    }
    const std::size_t question = row.dropped ? 0 : 1;
    ASSERT_EQ(driver.seen.size(), question + (row.answer == IDYES ? 2 : 1)) << row.name;
    EXPECT_THAT(driver.seen[question], MessageBoxOf(row.question, "Marivane", TIcon::Question));
    const std::string prepared =
        PreparedPictureName(path, small ? 800 : 1024, small ? 600 : 768);
    if (row.answer == IDYES) {
      EXPECT_EQ(small ? form_->SmallImagePath : form_->BigImagePath, prepared) << row.name;
      EXPECT_TRUE(small ? form_->IsSmallImageValid() : form_->IsBigImageValid()) << row.name;
    } else {
      EXPECT_FALSE(std::filesystem::exists(prepared));
      EXPECT_NE(form_->BigImagePath, path);
    }
  }
}

TEST_F(ImportCommand, UndecodableCancelledOrUnwritableEachEndsAsTheUserExpects) {
  const std::string notes = dir_.Write("notes.png", Bytes(200, 'x'));
  const std::string photo = dir_.Write("photo.jpg", Made("wide.jpg"));
  ShowMain();
  TDialogDriver driver;
  driver.Then(EnterFileName(notes)).Then(Press(IDOK));  // the error box
  Command(IDM_IMPORT800X600PICTURE);
  driver.Then(EnterFileName(photo)).Then(Press(IDCANCEL));  // the framing cancelled
  Command(IDM_IMPORT800X600PICTURE);
  ASSERT_EQ(driver.seen.size(), 4u);
  EXPECT_THAT(driver.seen[1],
              ErrorBox("Cannot import \"" + notes +
                       "\": it is not a PNG, JPEG, GIF, TIFF, BMP or ICO picture."));
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "photo-800x600.bmp"));
  EXPECT_THAT(form_->SmallImagePath, IsEmpty());

  // A folder holds the bitmap's name, so it cannot be written there: the save dialog asks
  // where, with the name proposed.
  std::filesystem::create_directory(dir_.path() / "photo-800x600.bmp");
  const std::string elsewhere = dir_.PathOf("elsewhere.bmp");
  std::string save_title, proposed;
  driver.Then(EnterFileName(photo)).Then(Press(IDOK)).Then([&](HWND dialog) {
    save_title = WindowText(dialog);
    proposed = FileNameBoxText(dialog);
    EnterFileName(elsewhere)(dialog);
  });
  Command(IDM_IMPORT800X600PICTURE);
  ASSERT_EQ(driver.seen.size(), 7u);
  EXPECT_EQ(save_title, "Save Prepared Picture As - its own folder cannot be written");
  EXPECT_EQ(proposed, "photo-800x600.bmp");
  EXPECT_EQ(ReadFileBytes(elsewhere).size(), 1'440'054u);
  EXPECT_EQ(form_->SmallImagePath, elsewhere);
  EXPECT_TRUE(form_->IsSmallImageValid());
  EXPECT_THAT(driver.seen, ::testing::Each(::testing::Field(&TSeenWindow::stuck, false)));
}

}  // namespace
}  // namespace marivane::test
