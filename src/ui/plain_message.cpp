#include "ui/plain_message.h"

#include <algorithm>

#include "ui/controls.h"

namespace marivane::ui {
namespace {

// The text control carries the id the system gives a message box's text.
constexpr int kMessageTextId = 0xFFFF;
constexpr int kMargin = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

}  // namespace

void TPlainMessageBox::ShowModal(HWND owner) {
  // The system disables the owner itself; the scope takes the program's other windows.
  TModalScope scope(owner);
  scope_ = &scope;
  TEmptyDialogTemplate dialog_template{};
  dialog_template.header.style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  RunDialog(dialog_template.header, owner);
  scope_ = nullptr;
}

void TPlainMessageBox::LayOut() {
  SetWindowTextA(handle_, caption_.c_str());
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof(metrics);
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  font_.Reset(CreateFontIndirectA(&metrics.lfMessageFont));

  // The text wraps at half the screen's width, as wide as it needs to be below that.
  RECT text_rect{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, 0};
  {
    platform::TWindowDC dc(handle_);
    platform::TSelectObject select(dc.Get(), font_.Get());
    DrawTextA(dc.Get(), text_.c_str(), -1, &text_rect,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  }
  const int margin = Scaled(kMargin);
  const int button_width = Scaled(kButtonWidth);
  const int button_height = Scaled(kButtonHeight);
  const int text_width = text_rect.right - text_rect.left;
  const int text_height = text_rect.bottom - text_rect.top;
  const int client_width = std::max(text_width, button_width) + 2 * margin;
  const int client_height = text_height + button_height + 3 * margin;

  CreateControl(handle_, "STATIC", text_.c_str(), WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                {margin, margin, margin + text_width, margin + text_height}, kMessageTextId,
                font_.Get());
  const int ok_left = (client_width - button_width) / 2;
  const int ok_top = text_height + 2 * margin;
  HWND ok = CreateControl(handle_, "BUTTON", "OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                          {ok_left, ok_top, ok_left + button_width, ok_top + button_height}, IDOK,
                          font_.Get());

  RECT frame{0, 0, client_width, client_height};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(handle_, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrA(handle_, GWL_EXSTYLE)));
  CentreWindow(handle_, TCentreOn::Screen,
               SIZE{frame.right - frame.left, frame.bottom - frame.top});
  SetFocus(ok);
}

LRESULT TPlainMessageBox::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      LayOut();
      return FALSE;  // the focus is on OK already
    case WM_COMMAND:
      // Esc arrives as IDCANCEL: with one button, it presses that button.
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        scope_->Release();
        EndDialog(handle_, IDOK);
        return 0;
      }
      break;
  }
  return TWindow::HandleMessage(message, wparam, lparam);
}

}  // namespace marivane::ui
