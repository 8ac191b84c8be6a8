#include "ui/controls.h"

#include <commctrl.h>

#include <algorithm>

#include "base/errors.h"
#include "platform/platform_win32.h"

namespace marivane::ui {
namespace {

constexpr char kImageClass[] = "TImage";
// A tooltip's width at 96 dpi: it breaks its lines at spaces to fit. A path has none, so a
// long one is broken after a backslash, or anywhere once it runs past kToolTipLine.
constexpr int kToolTipWidth = 480;
constexpr std::size_t kToolTipLine = 100;

std::string BrokenIntoLines(const std::string& text) {
  std::string lines;
  std::size_t run = 0;  // characters since the last space or line break
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    lines += c;
    run = c == ' ' || c == '\n' ? 0 : run + 1;
    const bool next_breaks = at + 1 == text.size() || text[at + 1] == '\n' || text[at + 1] == ' ';
    if (!next_breaks && (run >= kToolTipLine || (c == '\\' && run >= kToolTipLine * 3 / 5))) {
      lines += '\n';
      run = 0;
    }
  }
  return lines;
}

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

// --- TToolTips ---

void TToolTips::Create(HWND window) {
  handle_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                            WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
  if (handle_ == nullptr) throw platform::OSError(GetLastError());
  // A width makes the tooltip keep the text's own line breaks.
  SendMessageA(handle_, TTM_SETMAXTIPWIDTH, 0, Scaled(kToolTipWidth));
}

void TToolTips::Set(HWND control, const std::string& text) {
  std::string shown = BrokenIntoLines(text);
  // The smaller record of common controls 5 and 6 alike.
  TTTOOLINFOA tool{};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.hwnd = GetParent(control);
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = shown.data();
  const bool added = std::find(tools_.begin(), tools_.end(), control) != tools_.end();
  if (added) {
    SendMessageA(handle_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
    return;
  }
  char window_class[16] = {};
  GetClassNameA(control, window_class, sizeof(window_class));
  const bool plain_static = lstrcmpiA(window_class, "Static") == 0 &&
                            !(GetWindowLongA(control, GWL_STYLE) & SS_NOTIFY);
  if (IsWindowEnabled(control) && !plain_static) {
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  } else {
    // The mouse over a disabled control or a plain static goes to its parent.
    tool.uFlags = TTF_SUBCLASS;
    GetWindowRect(control, &tool.rect);
    MapWindowPoints(nullptr, tool.hwnd, reinterpret_cast<POINT*>(&tool.rect), 2);
  }
  SendMessageA(handle_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  tools_.push_back(control);
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
