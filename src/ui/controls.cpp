#include "ui/controls.h"

#include "base/errors.h"
#include "platform/platform_win32.h"

namespace marivane::ui {
namespace {

constexpr char kImageClass[] = "TImage";

}  // namespace

HWND CreateControl(HWND parent, const char* window_class, const char* text, DWORD style,
                   const RECT& bounds, int id, HFONT font) {
  HWND control = CreateWindowExA(0, window_class, text, WS_CHILD | style, bounds.left, bounds.top,
                                 bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleA(nullptr), nullptr);
  if (control == nullptr) throw platform::OSError(GetLastError());
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

// --- TGroupBox ---

void TGroupBox::Create(HWND parent, const char* caption, const RECT& bounds, HFONT font) {
  // Clipping its children keeps the frame's painting off them; WS_EX_CONTROLPARENT lets Tab
  // walk into the box.
  constexpr DWORD kStyle =
      WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | BS_GROUPBOX;
  HWND box = CreateWindowExA(WS_EX_CONTROLPARENT, "BUTTON", caption, kStyle, bounds.left,
                             bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                             parent, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (box == nullptr) throw platform::OSError(GetLastError());
  SendMessageA(box, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  Subclass(box);
}

LRESULT TGroupBox::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    // The children's notifications belong to the form.
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
      return SendMessageA(GetParent(handle_), message, wparam, lparam);
    case WM_ERASEBKGND: {
      // The system's group box paints its frame and caption only; what lies between the
      // children would otherwise keep whatever was on the screen.
      RECT client{};
      GetClientRect(handle_, &client);
      FillRect(reinterpret_cast<HDC>(wparam), &client, GetSysColorBrush(COLOR_BTNFACE));
      return TRUE;
    }
    case WM_NCHITTEST:
      // A group box calls itself transparent to hit-testing, so the shell would hand a file
      // dropped on it to the window beneath. Claiming the client area keeps the drop here.
      return HTCLIENT;
  }
  return TWindow::HandleMessage(message, wparam, lparam);
}

// --- TImage ---

void TImage::Create(HWND parent, const RECT& bounds, const TPicture& picture) {
  picture_ = &picture;
  RegisterClassOnce(kImageClass, nullptr);
  CreateHandle(kImageClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, bounds, parent,
               nullptr);
}

LRESULT TImage::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      platform::TPaintScope paint(handle_);
      RECT client{};
      GetClientRect(handle_, &client);
      PaintPreview(paint.Get(), client, *picture_);
      return 0;
    }
    case WM_NCHITTEST:
      // Clicks and drops over the picture belong to the box it lies in.
      return HTTRANSPARENT;
  }
  return TWindow::HandleMessage(message, wparam, lparam);
}

void PaintPreview(HDC dc, const RECT& bounds, const TPicture& picture) {
  const platform::TDisplayImage* image = picture.image().get();
  if (image == nullptr) return;
  const int width = bounds.right - bounds.left;
  const int height = bounds.bottom - bounds.top;
  if (const auto* bitmap = dynamic_cast<const platform::TWin32Bitmap*>(image)) {
    BITMAP info{};
    if (GetObjectA(bitmap->Handle(), sizeof(info), &info) == 0) return;
    platform::TMemoryDC source(CreateCompatibleDC(dc));
    platform::TSelectObject select(source.Get(), bitmap->Handle());
    const int display_bits = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
    const bool halftone = display_bits <= 8 && display_bits < info.bmBitsPixel;
    const int previous_mode = SetStretchBltMode(dc, halftone ? HALFTONE : COLORONCOLOR);
    // HALFTONE moves the brush origin; it must be set again after the mode.
    if (halftone) SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, bounds.left, bounds.top, width, height, source.Get(), 0, 0, info.bmWidth,
               info.bmHeight, SRCCOPY);
    SetStretchBltMode(dc, previous_mode);
  } else if (const auto* icon = dynamic_cast<const platform::TWin32Icon*>(image)) {
    DrawIconEx(dc, bounds.left, bounds.top, icon->Handle(), width, height, 0, nullptr, DI_NORMAL);
  } else if (const auto* metafile = dynamic_cast<const platform::TWin32Metafile*>(image)) {
    PlayEnhMetaFile(dc, metafile->Handle(), &bounds);
  }
}

}  // namespace marivane::ui
