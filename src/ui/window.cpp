#include "ui/window.h"

#include <utility>

#include "base/errors.h"
#include "platform/platform.h"
#include "ui/application.h"

namespace marivane::ui {

// --- Layout helpers ---

int Scaled(int pixels) { return MulDiv(pixels, platform::ScreenPixelsPerInch(), 96); }

RECT ScaledBounds(int left, int top, int width, int height) {
  return {Scaled(left), Scaled(top), Scaled(left + width), Scaled(top + height)};
}

platform::TFontHandle MakeFont(const char* face, int points, TFontStyle style) {
  return platform::TFontHandle(
      CreateFontA(-MulDiv(points, platform::ScreenPixelsPerInch(), 72), 0, 0, 0,
                  style == TFontStyle::Bold ? FW_BOLD : FW_NORMAL, FALSE,
                  style == TFontStyle::Underlined ? TRUE : FALSE, FALSE,
                  DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                  DEFAULT_PITCH | FF_DONTCARE, face));
}

void CentreWindow(HWND window, TCentreOn on, std::optional<SIZE> size) {
  RECT centre_on{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  const TForm* main =
      on == TCentreOn::MainForm && HasApplication() ? Application().MainForm() : nullptr;
  if (main != nullptr && main->Handle() != window) GetWindowRect(main->Handle(), &centre_on);
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  if (!size) {
    RECT bounds{};
    GetWindowRect(window, &bounds);
    size = SIZE{bounds.right - bounds.left, bounds.bottom - bounds.top};
    flags |= SWP_NOSIZE;
  }
  SetWindowPos(window, nullptr, centre_on.left + (centre_on.right - centre_on.left - size->cx) / 2,
               centre_on.top + (centre_on.bottom - centre_on.top - size->cy) / 2, size->cx,
               size->cy, flags);
}

SIZE TextSize(HFONT font, const std::string& text) {
  platform::TWindowDC screen;
  platform::TSelectObject select(screen.Get(), font);
  SIZE size{};
  GetTextExtentPoint32A(screen.Get(), text.data(), static_cast<int>(text.size()), &size);
  return size;
}

std::string FitInMiddle(HFONT font, const std::string& text, int width) {
  if (TextSize(font, text).cx <= width) return text;
  // Kept from the end: the file name with its separator, as in "C:\Win...\winload.exe.mui";
  // failing that, or for a text that is no path, the end half of what is kept.
  const std::size_t separator = text.find_last_of("\\/");
  const std::size_t name = separator == std::string::npos ? 0 : text.size() - separator;
  const auto shortened = [&](std::size_t keep) {
    const std::size_t tail = name != 0 && name <= keep ? name : keep / 2;
    return text.substr(0, keep - tail) + "..." + text.substr(text.size() - tail);
  };
  // The widest that fits: its width grows with what is kept, a character at a time.
  std::size_t fits = 0;
  std::size_t too_wide = text.size();
  while (too_wide - fits > 1) {
    const std::size_t keep = fits + (too_wide - fits) / 2;
    (TextSize(font, shortened(keep)).cx <= width ? fits : too_wide) = keep;
  }
  return shortened(fits);
}

// --- TWindow ---

TWindow::TWindow()
    : window_proc([this](TMessage& message) {
        message.result = HandleMessage(message.msg, message.wparam, message.lparam);
      }) {}

TWindow::~TWindow() { DestroyHandle(); }

void TWindow::DestroyHandle() {
  if (handle_ == nullptr) return;
  // Unbound first: a form's destructor may already have taken its derived part away, so
  // the messages of the destruction must not reach HandleMessage.
  HWND window = handle_;
  Unbind();
  DestroyWindow(window);
}

void TWindow::RegisterClassOnce(const char* class_name, HICON icon, HICON small_icon,
                                HBRUSH background) {
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExA(GetModuleHandleA(nullptr), class_name, &existing)) return;
  WNDCLASSEXA window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProcedure;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.hIcon = icon;
  window_class.hIconSm = small_icon;
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = background;
  window_class.lpszClassName = class_name;
  if (RegisterClassExA(&window_class) == 0) throw platform::OSError(GetLastError());
}

void TWindow::CreateHandle(const char* class_name, const char* caption, DWORD style,
                           DWORD ex_style, const RECT& bounds, HWND owner, HMENU menu) {
  HWND created = CreateWindowExA(ex_style, class_name, caption, style, bounds.left, bounds.top,
                                 bounds.right - bounds.left, bounds.bottom - bounds.top, owner,
                                 menu, GetModuleHandleA(nullptr), this);
  if (created == nullptr) throw platform::OSError(GetLastError());
}

void TWindow::Subclass(HWND window) {
  // Bound before the procedure changes, so that its first message finds the object.
  Bind(window);
  system_procedure_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProcedure)));
}

INT_PTR TWindow::RunDialog(const DLGTEMPLATE& dialog_template, HWND owner) {
  return DialogBoxIndirectParamA(GetModuleHandleA(nullptr), &dialog_template, owner, DialogStart,
                                 reinterpret_cast<LPARAM>(this));
}

LRESULT TWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (system_procedure_ != nullptr)
    return CallWindowProcA(system_procedure_, handle_, message, wparam, lparam);
  return DefWindowProcA(handle_, message, wparam, lparam);
}

void TWindow::Bind(HWND window) {
  handle_ = window;
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void TWindow::Unbind() {
  if (system_procedure_ != nullptr)
    SetWindowLongPtrA(handle_, GWLP_WNDPROC,
                      reinterpret_cast<LONG_PTR>(std::exchange(system_procedure_, nullptr)));
  SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
  handle_ = nullptr;
}

LRESULT TWindow::Dispatch(UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  TMessage routed{message, wparam, lparam, 0};
  try {
    window_proc(routed);
  } catch (...) {
    Application().HandleException(std::current_exception());
    routed.result = 0;
  }
  // The window's last message: the object may outlive it.
  if (message == WM_NCDESTROY) Unbind();
  return routed.result;
}

LRESULT CALLBACK TWindow::WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                          LPARAM lparam) {
  auto* self = reinterpret_cast<TWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr && message == WM_NCCREATE) {
    self = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams);
    self->Bind(window);
  }
  // The messages before WM_NCCREATE (WM_GETMINMAXINFO) have no object yet.
  if (self == nullptr) return DefWindowProcA(window, message, wparam, lparam);
  return self->Dispatch(message, wparam, lparam);
}

INT_PTR CALLBACK TWindow::DialogStart(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  // WM_INITDIALOG is the first message that carries the object: from it on, the box is
  // subclassed and its messages reach HandleMessage through WindowProcedure like any other
  // window's. What HandleMessage leaves goes to the system's dialog procedure, which asks
  // here again and hears "not handled" -- WM_INITDIALOG included, or it would come round
  // for ever.
  if (message != WM_INITDIALOG || GetWindowLongPtrA(dialog, GWLP_USERDATA) != 0) return FALSE;
  auto* self = reinterpret_cast<TWindow*>(lparam);
  self->Subclass(dialog);
  return self->Dispatch(message, wparam, lparam);
}

// --- TForm ---

void TForm::Show(int show_command) {
  if (!shown_before_) {
    shown_before_ = true;
    PlaceFirstTime();
    // The first showing's handler runs before the window appears; an error in it skips the
    // rest of it and the window shows all the same.
    try {
      FormShow();
    } catch (...) {
      Application().HandleException(std::current_exception());
    }
  }
  ShowWindow(handle_, show_command);
  UpdateWindow(handle_);
}

LRESULT TForm::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_SETCURSOR && Application().ScreenCursor() != nullptr) {
    SetCursor(Application().ScreenCursor());
    return TRUE;
  }
  return TWindow::HandleMessage(message, wparam, lparam);
}

// --- TModalScope ---

namespace {

struct TDisableContext {
  HWND except;
  std::vector<HWND>* disabled;
};

BOOL CALLBACK DisableOne(HWND window, LPARAM param) {
  auto* context = reinterpret_cast<TDisableContext*>(param);
  if (window != context->except && IsWindowVisible(window) && IsWindowEnabled(window)) {
    context->disabled->push_back(window);
    EnableWindow(window, FALSE);
  }
  return TRUE;
}

}  // namespace

int TForm::RunModal(HWND first) {
  modal_result_ = 0;
  HWND previous = GetActiveWindow();
  {
    TModalScope scope(handle_);
    Show();
    SetActiveWindow(handle_);
    SetFocus(first);
    MSG message;
    while (modal_result_ == 0) {
      const BOOL got = GetMessageA(&message, nullptr, 0, 0);
      if (got <= 0) {
        // The program is ending: leave the quit message for the main loop.
        if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
        modal_result_ = IDCANCEL;
        break;
      }
      if (IsDialogMessageA(handle_, &message)) continue;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  ShowWindow(handle_, SW_HIDE);
  if (previous != nullptr && IsWindow(previous) && IsWindowVisible(previous))
    SetActiveWindow(previous);
  return modal_result_;
}

TModalScope::TModalScope(HWND except) {
  TDisableContext context{except, &disabled_};
  EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&context));
}

void TModalScope::Release() {
  for (auto it = disabled_.rbegin(); it != disabled_.rend(); ++it)
    if (IsWindow(*it)) EnableWindow(*it, TRUE);
  disabled_.clear();
}

}  // namespace marivane::ui
