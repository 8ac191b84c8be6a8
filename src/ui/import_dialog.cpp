#include "ui/import_dialog.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/platform.h"
#include "ui/application.h"
#include "ui/controls.h"

namespace marivane::ui {
namespace {

constexpr char kPreviewClass[] = "TImportPreview";
// Laid out at 96 dpi like the other windows. The preview is as wide as kPreviewWidth and as
// high as the slot's shape makes it (4:3 for both slots: 180). The window grows wider when
// the system's font makes the framings' texts wider.
constexpr int kClientWidth = 440;
constexpr int kClientHeight = 256;
constexpr int kMargin = 12;
constexpr int kPreviewTop = 36;
constexpr int kPreviewWidth = 240;
constexpr int kRadioLeft = 268;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

std::string FileNameOf(const std::string& path) {
  return path.substr(path.find_last_of("/\\:") + 1);  // npos + 1 == 0
}

}  // namespace

// --- TImportPreview ---

void TImportPreview::Create(HWND parent, const RECT& bounds) {
  RegisterClassOnce(kPreviewClass, nullptr);
  CreateHandle(kPreviewClass, "", WS_CHILD | WS_VISIBLE, 0, bounds, parent,
               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kImportPreviewId)));
}

void TImportPreview::Show(const TRgbImage& image, const std::vector<std::uint8_t>& rows) {
  image_ = &image;
  rows_ = &rows;
  InvalidateRect(handle_, nullptr, FALSE);
}

void TImportPreview::Paint(HDC dc) {
  if (image_ == nullptr) return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = image_->width;
  info.bmiHeader.biHeight = -image_->height;  // top row first, as TRgbImage keeps them
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(image_->width),
                    static_cast<DWORD>(image_->height), 0, 0, 0,
                    static_cast<UINT>(image_->height), rows_->data(), &info, DIB_RGB_COLORS);
}

LRESULT TImportPreview::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      platform::TPaintScope paint(handle_);
      Paint(paint.Get());
      return 0;
    }
    // Drawn into a device context of the asker's: what a screen reader or a test sees.
    case WM_PRINTCLIENT: Paint(reinterpret_cast<HDC>(wparam)); return 0;
    // Every pixel is painted; erasing first would only flicker.
    case WM_ERASEBKGND: return TRUE;
  }
  return TWindow::HandleMessage(message, wparam, lparam);
}

// --- TImportModeDialog ---

TImportModeDialog::TImportModeDialog(const TRgbImage& picture, std::string caption,
                                     const std::string& path, std::int32_t slot_width,
                                     std::int32_t slot_height)
    : caption_(std::move(caption)),
      description_(FileNameOf(path) + ", " + std::to_string(picture.width) + " x " +
                   std::to_string(picture.height) + " pixels, framed for " +
                   std::to_string(slot_width) + " x " + std::to_string(slot_height) + ":") {
  const std::int32_t width = Scaled(kPreviewWidth);
  const std::int32_t height = MulDiv(width, slot_height, slot_width);
  // A photo has a hundred times the pixels the preview needs. It is brought down once, keeping
  // its shape, to twice the size at which it would cover the preview; the three framings are
  // then quick to make, and as sharp as the final scaling would make them at this size.
  const double cover = std::max(static_cast<double>(width) / picture.width,
                                static_cast<double>(height) / picture.height);
  TRgbImage reduced;
  const TRgbImage* base = &picture;
  if (2 * cover < 1) {
    reduced = ScaleToSlot(
        picture, std::max<std::int32_t>(1, std::lround(picture.width * 2 * cover)),
        std::max<std::int32_t>(1, std::lround(picture.height * 2 * cover)), TImportMode::Stretch);
    base = &reduced;
  }
  for (TImportMode mode : {TImportMode::Fill, TImportMode::Fit, TImportMode::Stretch}) {
    TFraming& framing = framings_[static_cast<std::size_t>(mode)];
    framing.image = ScaleToSlot(*base, width, height, mode);
    const std::size_t row = static_cast<std::size_t>(width) * 3;
    const std::size_t padded = (row + 3) / 4 * 4;
    framing.rows.assign(padded * static_cast<std::size_t>(height), 0);
    for (std::int32_t y = 0; y < height; ++y)
      std::copy_n(framing.image.bgr.begin() + static_cast<std::ptrdiff_t>(row * y), row,
                  framing.rows.begin() + static_cast<std::ptrdiff_t>(padded * y));
  }
}

bool TImportModeDialog::ShowModal(HWND owner) {
  // The system disables the owner itself; the scope takes the program's other windows.
  TModalScope scope(owner);
  scope_ = &scope;
  TEmptyDialogTemplate dialog_template{};
  dialog_template.header.style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  const INT_PTR result = RunDialog(dialog_template.header, owner);
  scope_ = nullptr;
  return result == IDOK;
}

HWND TImportModeDialog::AddControl(const char* window_class, const std::string& text,
                                   DWORD style, int left, int top, int width, int height,
                                   int id) {
  return CreateControl(handle_, window_class, text.c_str(), WS_VISIBLE | style,
                       ScaledBounds(left, top, width, height), id, font_.Get());
}

void TImportModeDialog::LayOut() {
  SetWindowTextA(handle_, caption_.c_str());
  font_ = MakeFont("Tahoma", 8);
  client_width_ = kClientWidth;
  HWND description = AddControl("STATIC", description_, SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS,
                                kMargin, kMargin, kClientWidth - 2 * kMargin, 16, kNoCommandId);

  const TRgbImage& shown = framings_[0].image;
  const int preview_left = Scaled(kMargin);
  const int preview_top = Scaled(kPreviewTop);
  // An etched frame just around the preview shows where the slot's picture ends.
  CreateControl(handle_, "STATIC", "", WS_VISIBLE | SS_ETCHEDFRAME,
                {preview_left - 2, preview_top - 2, preview_left + shown.width + 2,
                 preview_top + shown.height + 2},
                kNoCommandId, font_.Get());
  preview_.Create(handle_, {preview_left, preview_top, preview_left + shown.width,
                            preview_top + shown.height});

  // One group for the arrow keys: the first radio button starts it, OK starts the next. Each
  // is as wide as its text in this system's font, past the round box and its gap.
  const std::pair<const char*, int> radios[] = {
      {"&Fill: cover the slot, crop the edges", kFillRadioId},
      {"F&it: whole picture, black bars", kFitRadioId},
      {"&Stretch: whole picture, pulled to shape", kStretchRadioId}};
  int top = kPreviewTop;
  HWND fill = nullptr;
  for (const auto& [text, id] : radios) {
    const int width =
        MulDiv(TextSize(font_.Get(), text).cx, 96, platform::ScreenPixelsPerInch()) + 24;
    HWND radio = AddControl("BUTTON", text,
                            BS_AUTORADIOBUTTON | (id == kFillRadioId ? WS_GROUP | WS_TABSTOP : 0),
                            kRadioLeft, top, width, 20, id);
    if (id == kFillRadioId) fill = radio;
    client_width_ = std::max(client_width_, kRadioLeft + width + kMargin);
    top += 24;
  }
  SetWindowPos(description, nullptr, 0, 0, Scaled(client_width_ - 2 * kMargin), Scaled(16),
               SWP_NOMOVE | SWP_NOZORDER);
  const int button_top = kClientHeight - kMargin - kButtonHeight;
  AddControl("BUTTON", "OK", BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP,
             client_width_ - kMargin - 2 * kButtonWidth - 8, button_top, kButtonWidth,
             kButtonHeight, IDOK);
  AddControl("BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, client_width_ - kMargin - kButtonWidth,
             button_top, kButtonWidth, kButtonHeight, IDCANCEL);
  SendMessageA(fill, BM_SETCHECK, BST_CHECKED, 0);
  Choose(TImportMode::Fill);

  // Sized to the client area, centred on the main window.
  RECT frame{0, 0, Scaled(client_width_), Scaled(kClientHeight)};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(handle_, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrA(handle_, GWL_EXSTYLE)));
  CentreWindow(handle_, TCentreOn::MainForm,
               SIZE{frame.right - frame.left, frame.bottom - frame.top});
  SetFocus(fill);
}

void TImportModeDialog::Choose(TImportMode mode) {
  mode_ = mode;
  const TFraming& framing = framings_[static_cast<std::size_t>(mode)];
  preview_.Show(framing.image, framing.rows);
}

LRESULT TImportModeDialog::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      LayOut();
      return FALSE;  // the focus is on the chosen framing already
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case kFillRadioId: Choose(TImportMode::Fill); return 0;
        case kFitRadioId: Choose(TImportMode::Fit); return 0;
        case kStretchRadioId: Choose(TImportMode::Stretch); return 0;
        case IDOK:
        case IDCANCEL:
          // The program's windows are enabled again before the box goes, so that activation
          // returns to the one that had it.
          scope_->Release();
          EndDialog(handle_, LOWORD(wparam));
          return 0;
      }
      break;
  }
  return TWindow::HandleMessage(message, wparam, lparam);
}

}  // namespace marivane::ui
