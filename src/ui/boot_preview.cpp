#include "ui/boot_preview.h"

#include "ui/application.h"
#include "ui/controls.h"

namespace marivane::ui {
namespace {

constexpr char kPreviewClass[] = "TBootPreview";

}  // namespace

TSlot BootSlotForScreen(int width, int height) {
  const TSize big = SlotSize(TSlot::Big);
  return width >= big.width && height >= big.height ? TSlot::Big : TSlot::Small;
}

RECT BootPictureBounds(const RECT& screen) {
  const long width = screen.right - screen.left;
  const long height = screen.bottom - screen.top;
  RECT bounds = screen;
  if (width * 3 > height * 4) {
    const long shown = height * 4 / 3;
    bounds.left += (width - shown) / 2;
    bounds.right = bounds.left + shown;
  } else if (width * 3 < height * 4) {
    const long shown = width * 3 / 4;
    bounds.top += (height - shown) / 2;
    bounds.bottom = bounds.top + shown;
  }
  return bounds;
}

TBootPreviewForm::TBootPreviewForm(const TPicture& picture, const RECT& screen)
    : picture_(picture), screen_(screen) {
  RegisterClassOnce(kPreviewClass, nullptr, nullptr,
                    static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  CreateHandle(kPreviewClass, "Preview at Boot", WS_POPUP, WS_EX_TOPMOST, screen,
               Application().Handle(), nullptr);
}

TBootPreviewForm::~TBootPreviewForm() { DestroyHandle(); }

void TBootPreviewForm::ShowModal() { RunModal(handle_); }

LRESULT TBootPreviewForm::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(handle_, &paint);
      const RECT whole{0, 0, screen_.right - screen_.left, screen_.bottom - screen_.top};
      FillRect(dc, &whole, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      PaintPreview(dc, BootPictureBounds(whole), picture_);
      EndPaint(handle_, &paint);
      return 0;
    }
    // The boot loader shows no pointer.
    case WM_SETCURSOR: SetCursor(nullptr); return TRUE;
    // Every key reaches the window, Esc and Enter included, rather than the modal loop's
    // dialog handling.
    case WM_GETDLGCODE: return DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
      modal_result_ = IDOK;
      return message == WM_XBUTTONDOWN ? TRUE : 0;
    case WM_CLOSE:
      modal_result_ = IDCANCEL;
      return 0;
  }
  return TForm::HandleMessage(message, wparam, lparam);
}

}  // namespace marivane::ui
