// The main window with both previews loaded, as it appears on the screen; the picture is
// kept as build/win32/artifacts/main-window.bmp.
#include "ui_test_support.h"

#include <fstream>

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

}  // namespace
}  // namespace marivane::test
