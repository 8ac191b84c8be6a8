// The main window with both previews loaded, as it appears on the screen; the picture is
// kept as build/win32/artifacts/main-window.bmp. Reading boot screen files back in the window:
// a good one opened fills both slots, as the screen shows, a damaged one leaves them; and the
// preview at boot covers the screen until a key or a click.
#include "ui_test_support.h"

#include <fstream>

#include "base/little_endian.h"
#include "builder/boot_screen_file.h"
#include "resources/resource.h"
#include "support/recording_ui.h"

namespace marivane::test {
namespace {

namespace fs = std::filesystem;

// Bands of primary and secondary colours, each column the opposite colour of its neighbours:
// shrinking by dropping columns keeps pure colours, where blending would give half tones.
Bytes StripedPixels(int width, int height) {
  const std::uint8_t bands[6][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0},
                                    {0, 255, 255}, {255, 255, 0}, {255, 0, 255}};
  const int row = (width * 3 + 3) / 4 * 4;
  Bytes pixels(static_cast<std::size_t>(row) * height, 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c)
        pixels[static_cast<std::size_t>(y) * row + x * 3 + c] =
            bands[(y * 6 / height + (x % 2) * 3) % 6][c];
  return pixels;
}

struct TCapture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bits;  // 24-bit rows, top row first, padded to 4 bytes
  const std::uint8_t* At(int x, int y) const {
    return &bits[static_cast<std::size_t>(y) * ((width * 3 + 3) / 4 * 4) + x * 3];
  }
};

TCapture CaptureScreen(const RECT& area) {
  TCapture capture;
  capture.width = area.right - area.left;
  capture.height = area.bottom - area.top;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = capture.width;
  info.bmiHeader.biHeight = -capture.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ previous = SelectObject(memory, section);
  BitBlt(memory, 0, 0, capture.width, capture.height, screen, area.left, area.top, SRCCOPY);
  GdiFlush();
  const std::size_t size = static_cast<std::size_t>((capture.width * 3 + 3) / 4 * 4) * capture.height;
  capture.bits.assign(static_cast<std::uint8_t*>(bits), static_cast<std::uint8_t*>(bits) + size);
  SelectObject(memory, previous);
  DeleteDC(memory);
  DeleteObject(section);
  ReleaseDC(nullptr, screen);
  return capture;
}

void WriteBmp(const std::string& path, const TCapture& capture) {
  const int row = (capture.width * 3 + 3) / 4 * 4;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER header{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(capture.bits.size());
  header.biSize = sizeof(header);
  header.biWidth = capture.width;
  header.biHeight = capture.height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof(file));
  out.write(reinterpret_cast<const char*>(&header), sizeof(header));
  for (int y = capture.height - 1; y >= 0; --y)
    out.write(reinterpret_cast<const char*>(capture.At(0, y)), row);
}

using Screenshot = Windows;

TEST_F(Screenshot, MainWindowWithBothPreviewsDrawsThemWithoutBlending) {
  form_->LoadDroppedFile(TSlot::Small, dir_.Write("small.bmp", MakeBitmap({.pixels = StripedPixels(800, 600)})));
  form_->LoadDroppedFile(TSlot::Big, dir_.Write("big.bmp", MakeBitmap({.width = 1024, .height = 768})));
  ShowMain();
  SetForegroundWindow(form_->Handle());
  RedrawWindow(form_->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Pump(500);

  RECT window{};
  GetWindowRect(form_->Handle(), &window);
  const TCapture shot = CaptureScreen(window);
  const fs::path artifacts = fs::path(BinFolder()) / ".." / "artifacts";
  fs::create_directories(artifacts);
  WriteBmp((artifacts / "main-window.bmp").string(), shot);

  RECT preview{};
  GetWindowRect(form_->ImageSmall.Handle(), &preview);
  ASSERT_EQ(preview.right - preview.left, ui::Scaled(200));
  ASSERT_EQ(preview.bottom - preview.top, ui::Scaled(150));
  int pure = 0, blended = 0;
  for (int y = preview.top; y < preview.bottom; ++y) {
    for (int x = preview.left; x < preview.right; ++x) {
      const std::uint8_t* p = shot.At(x - window.left, y - window.top);
      const bool all_pure = (p[0] == 0 || p[0] == 255) && (p[1] == 0 || p[1] == 255) &&
                            (p[2] == 0 || p[2] == 255);
      ++(all_pure ? pure : blended);
    }
  }
  EXPECT_EQ(blended, 0) << "a shrunk bitmap keeps its own colours";
  // Rows are stored bottom row first: the box's top shows the last band or its opposite,
  // magenta or blue, from edge to edge.
  for (int x : {preview.left, (preview.left + preview.right) / 2, preview.right - 1}) {
    const std::uint8_t* p = shot.At(x - window.left, preview.top - window.top);
    const bool magenta = p[0] == 255 && p[1] == 0 && p[2] == 255;
    const bool blue = p[0] == 255 && p[1] == 0 && p[2] == 0;
    EXPECT_TRUE(magenta || blue) << "column " << x - preview.left;
  }
  EXPECT_FALSE(IsWindowVisible(form_->Label1));
}

// --- Boot screen files read back ---

Bytes SolidPixels(int width, int height, std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
  const int row = (width * 3 + 3) / 4 * 4;
  Bytes pixels(static_cast<std::size_t>(row) * height, 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &pixels[static_cast<std::size_t>(y) * row + x * 3];
      p[0] = blue, p[1] = green, p[2] = red;
    }
  return pixels;
}

// A boot screen file the builder makes of a red small and a green big picture.
Bytes RedAndGreenBootScreen(const TempDir& dir) {
  RecordingUserInterface ui;
  TBootScreenBuilder builder(ui);
  builder.TemplateOverride = BinFolder() + "x86template";
  builder.LoadBrowsedFile(TSlot::Small, dir.Write("red.bmp", MakeBitmap({.pixels = SolidPixels(800, 600, 0, 0, 255)})));
  builder.LoadBrowsedFile(TSlot::Big, dir.Write("green.bmp", MakeBitmap({.width = 1024, .height = 768,
                                                                        .pixels = SolidPixels(1024, 768, 0, 255, 0)})));
  EXPECT_TRUE(builder.GenerateBootScreen()) << ::testing::PrintToString(ui.shown);
  return ReadFileBytes(builder.WorkMuiPath);
}

COLORREF CentreOf(HWND window) {
  RECT bounds{};
  GetWindowRect(window, &bounds);
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, (bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2);
  ReleaseDC(nullptr, screen);
  return colour;
}

constexpr const char* kOpenCaption = "Open Boot Screen File";

TEST_F(Screenshot, OpeningAGoodFileFillsBothSlotsFromATemporaryFolder) {
  std::filesystem::create_directory(dir_.path() / "en-US");
  const std::string file = (dir_.path() / "en-US" / "winload.exe.mui").string();
  std::filesystem::rename(dir_.Write("winload.exe.mui", RedAndGreenBootScreen(dir_)), file);
  ShowMain();
  TDialogDriver driver;
  driver.Then(EnterFileName(file)).Then(Press(IDOK));
  Command(IDM_OPENBOOTSCREENFILE);
  ASSERT_EQ(driver.seen.size(), 2u);
  EXPECT_EQ(driver.seen[0].caption, kOpenCaption);
  EXPECT_EQ(driver.seen[1].caption, kOpenCaption);
  EXPECT_EQ(driver.seen[1].icon, TIcon::Information);
  EXPECT_THAT(driver.seen[1].text,
              ::testing::StartsWith(file + " is a good boot screen file.  Its pictures are now in the slots: a save "
                                           "builds a new file from them with the template named below them.\r\r"
                                           "Its language is en-US, the name of the folder it lies in.\r\r"));
  EXPECT_THAT(driver.seen[1].text, ::testing::EndsWith("\r\rosload1024x768.bmp: a 1024 x 768 24-bit bitmap of "
                                                       "2359350 bytes."));

  // Both slots took the pictures, from a folder of the run's own under TEMP.
  EXPECT_TRUE(form_->IsSmallImageValid());
  EXPECT_TRUE(form_->IsBigImageValid());
  const std::string temp = dir_.PathOf("temp");
  EXPECT_EQ(form_->SmallImagePath.rfind(temp, 0), 0u) << form_->SmallImagePath;
  EXPECT_THAT(form_->BigImagePath, ::testing::EndsWith("osload1024x768.bmp"));
  // The tooltip breaks a long path after a backslash.
  EXPECT_THAT(ToolTipText(form_->Tips.Handle(), form_->GroupBox2.Handle()),
              ::testing::HasSubstr("osload1024x768.bmp\nTaken from "));
  RedrawWindow(form_->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Pump(500);
  EXPECT_EQ(CentreOf(form_->ImageSmall.Handle()), RGB(255, 0, 0));
  EXPECT_EQ(CentreOf(form_->ImageBig.Handle()), RGB(0, 255, 0));

  // The folder goes with the window.
  const std::string folder = std::filesystem::path(form_->SmallImagePath).parent_path().parent_path().string();
  application_.reset();
  EXPECT_FALSE(std::filesystem::exists(folder)) << folder;
}

TEST_F(Screenshot, OpeningADamagedFileShowsWhyAndLeavesTheSlots) {
  Bytes module = RedAndGreenBootScreen(dir_);
  PutU32(module, kSlotSizeFieldOffset, kSlotSize + 1);
  const std::string file = dir_.Write("damaged.mui", module);
  const std::string kept = dir_.Write("kept.bmp", MakeBitmap({}));
  form_->LoadDroppedFile(TSlot::Small, kept);
  TDialogDriver driver;
  driver.Then(Press(IDOK));
  form_->OpenBootScreen(file);
  EXPECT_THAT(driver.seen, ::testing::ElementsAre(MessageBoxOf(
                               file + " is damaged: The size recorded for its boot screen is wrong.\r(the boot "
                                      "screen's size field at 828 says 3799409 bytes, more than its slot of "
                                      "3799408 holds)\r\rThe slots keep their pictures.",
                               kOpenCaption, TIcon::Error)));
  EXPECT_EQ(form_->SmallImagePath, kept);
  EXPECT_EQ(form_->BigImagePath, "");
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path() / "temp"))
    EXPECT_NE(entry.path().filename().string().rfind("mrvn-", 0), 0u) << "staged in " << entry.path();
}

TEST_F(Screenshot, PreviewAtBootCoversTheScreenWithTheBigPictureUntilAKeyOrAClick) {
  ShowMain();
  {
    // This screen shows the big slot's picture, and there is none yet.
    TDialogDriver driver;
    driver.Then(Press(IDOK));
    Command(IDM_PREVIEWATBOOT);
    EXPECT_THAT(driver.seen, ::testing::ElementsAre(PlainMessage(
                                 "This screen shows the boot screen at 1024 x 768, and that slot holds no "
                                 "picture to show.")));
  }
  form_->LoadDroppedFile(TSlot::Big, dir_.Write("green.bmp", MakeBitmap({.width = 1024, .height = 768,
                                                                         .pixels = SolidPixels(1024, 768, 0, 255, 0)})));
  for (UINT closing : {UINT{WM_KEYDOWN}, UINT{WM_LBUTTONDOWN}}) {
    RECT shown{};
    COLORREF centre = 0;
    TDialogDriver driver;
    driver.Then([&](HWND preview) {
      // The screen shows a window a moment after it is mapped.
      Pump(300);
      GetWindowRect(preview, &shown);
      centre = CentreOf(preview);
      PostMessageA(preview, closing, closing == WM_KEYDOWN ? VK_SPACE : 0, 0);
    });
    Command(IDM_PREVIEWATBOOT);
    ASSERT_EQ(driver.seen.size(), 1u);
    EXPECT_FALSE(driver.seen[0].stuck);
    // The virtual screen is 1024 x 768: the big slot's mode, filling it.
    EXPECT_EQ(shown.right - shown.left, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(shown.bottom - shown.top, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(centre, RGB(0, 255, 0));
    EXPECT_EQ(FindWindowA("TBootPreview", nullptr), nullptr);
  }
}

}  // namespace
}  // namespace marivane::test
