#include "ui/forms.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "base/errors.h"
#include "platform/platform.h"
#include "resources/resource.h"

namespace marivane::ui {
namespace {

TApplication* the_application = nullptr;

constexpr char kApplicationClass[] = "TApplication";
// A plain message's text control carries the id the system gives a message box's text.
constexpr int kMessageTextId = 0xFFFF;
constexpr int kMargin = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

int ScreenDpi() {
  TWindowDC screen(nullptr);
  return GetDeviceCaps(screen.get(), LOGPIXELSY);
}

}  // namespace

// --- Layout helpers ---

int Scaled(int pixels) { return MulDiv(pixels, ScreenDpi(), 96); }

RECT ScaledBounds(int left, int top, int width, int height) {
  return {Scaled(left), Scaled(top), Scaled(left + width), Scaled(top + height)};
}

TFontHandle MakeFont(const char* face, int points, bool bold, bool underline) {
  return TFontHandle(CreateFontA(-MulDiv(points, ScreenDpi(), 72), 0, 0, 0,
                                 bold ? FW_BOLD : FW_NORMAL, FALSE, underline ? TRUE : FALSE,
                                 FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face));
}

SIZE TextSize(HFONT font, const std::string& text) {
  TWindowDC screen(nullptr);
  TSelectObject select(screen.get(), font);
  SIZE size{};
  GetTextExtentPoint32A(screen.get(), text.data(), static_cast<int>(text.size()), &size);
  return size;
}

// --- TWindow ---

TWindow::~TWindow() { DestroyHandle(); }

void TWindow::DestroyHandle() {
  if (handle_ == nullptr) return;
  // Detached first: a form's destructor may already have taken its derived part away, so
  // the messages of the destruction must not reach HandleMessage.
  HWND window = std::exchange(handle_, nullptr);
  SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  DestroyWindow(window);
}

void TWindow::RegisterClassOnce(const char* class_name, HICON icon) {
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExA(GetModuleHandleA(nullptr), class_name, &existing)) return;
  WNDCLASSEXA window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProcedure;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.hIcon = icon;
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
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

LRESULT TWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcA(handle_, message, wparam, lparam);
}

LRESULT CALLBACK TWindow::WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                          LPARAM lparam) {
  auto* self = reinterpret_cast<TWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    self = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams);
    self->handle_ = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (self == nullptr) return DefWindowProcA(window, message, wparam, lparam);
  try {
    const LRESULT result = self->HandleMessage(message, wparam, lparam);
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      self->handle_ = nullptr;
    }
    return result;
  } catch (...) {
    Application().HandleException(std::current_exception());
    return 0;
  }
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

TModalScope::TModalScope(HWND except) {
  TDisableContext context{except, &disabled_};
  EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&context));
}

void TModalScope::Release() {
  for (auto it = disabled_.rbegin(); it != disabled_.rend(); ++it)
    if (IsWindow(*it)) EnableWindow(*it, TRUE);
  disabled_.clear();
}

// --- The plain message ---

namespace {

struct TPlainMessage {
  const std::string* text;
  const std::string* caption;
  TModalScope* scope;
  TFontHandle font;
};

void LayOutPlainMessage(HWND dialog, TPlainMessage& message) {
  SetWindowTextA(dialog, message.caption->c_str());
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof(metrics);
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  message.font.reset(CreateFontIndirectA(&metrics.lfMessageFont));

  // The text wraps at half the screen's width, as wide as it needs to be below that.
  RECT text_rect{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, 0};
  {
    TWindowDC dc(dialog);
    TSelectObject select(dc.get(), message.font.get());
    DrawTextA(dc.get(), message.text->c_str(), -1, &text_rect,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  }
  const int margin = Scaled(kMargin);
  const int button_width = Scaled(kButtonWidth);
  const int button_height = Scaled(kButtonHeight);
  const int text_width = text_rect.right - text_rect.left;
  const int text_height = text_rect.bottom - text_rect.top;
  const int client_width = std::max(text_width, button_width) + 2 * margin;
  const int client_height = text_height + button_height + 3 * margin;

  HWND text = CreateWindowExA(0, "STATIC", message.text->c_str(),
                              WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, margin, margin,
                              text_width, text_height, dialog,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kMessageTextId)),
                              nullptr, nullptr);
  HWND ok = CreateWindowExA(0, "BUTTON", "OK",
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                            (client_width - button_width) / 2, text_height + 2 * margin,
                            button_width, button_height, dialog,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), nullptr, nullptr);
  SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(message.font.get()), FALSE);
  SendMessageA(ok, WM_SETFONT, reinterpret_cast<WPARAM>(message.font.get()), FALSE);

  RECT frame{0, 0, client_width, client_height};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_EXSTYLE)));
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(dialog, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  SetFocus(ok);
}

INT_PTR CALLBACK PlainMessageProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  try {
    switch (message) {
      case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lparam);
        LayOutPlainMessage(dialog, *reinterpret_cast<TPlainMessage*>(lparam));
        return FALSE;  // the focus is on OK already
      case WM_COMMAND:
        // Esc arrives as IDCANCEL: with one button, it presses that button.
        if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
          reinterpret_cast<TPlainMessage*>(GetWindowLongPtrA(dialog, DWLP_USER))->scope->Release();
          EndDialog(dialog, IDOK);
          return TRUE;
        }
        return FALSE;
    }
  } catch (...) {
    Application().HandleException(std::current_exception());
  }
  return FALSE;
}

// A dialog template with no controls: they are made at WM_INITDIALOG, in pixels.
struct alignas(4) TEmptyDialogTemplate {
  DLGTEMPLATE header;
  WORD menu = 0;
  WORD window_class = 0;
  WORD title = 0;
};

}  // namespace

// --- TApplication ---

TApplication::TApplication(HINSTANCE instance) : instance_(instance) {
  the_application = this;
  icon_ = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_MARIVANE), IMAGE_ICON,
                                        GetSystemMetrics(SM_CXICON),
                                        GetSystemMetrics(SM_CYICON), LR_SHARED));
  small_icon_ = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_MARIVANE),
                                              IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                              GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof(existing);
  if (!GetClassInfoExA(instance, kApplicationClass, &existing)) {
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = WindowProcedure;
    window_class.hInstance = instance;
    window_class.hIcon = icon_;
    window_class.hIconSm = small_icon_;
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.lpszClassName = kApplicationClass;
    if (RegisterClassExA(&window_class) == 0) throw platform::OSError(GetLastError());
  }
  // A top-level window of no size in the middle of the screen: it owns the task-bar button,
  // and every form is owned by it, so no form gets a button of its own.
  window_ = CreateWindowExA(0, kApplicationClass, "",
                            WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                            GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2,
                            0, 0, nullptr, nullptr, instance, nullptr);
  if (window_ == nullptr) throw platform::OSError(GetLastError());
}

TApplication::~TApplication() {
  DestroyAll();
  if (the_application == this) the_application = nullptr;
}

TApplication& Application() { return *the_application; }
bool HasApplication() { return the_application != nullptr; }

void TApplication::SetTitle(const std::string& title) {
  title_ = title;
  SetWindowTextA(window_, title_.c_str());
}

void TApplication::DestroyAll() {
  while (!forms_.empty()) forms_.pop_back();
  main_form_ = nullptr;
  if (window_ != nullptr) DestroyWindow(std::exchange(window_, nullptr));
}

void TApplication::DoneApplication() {
  platform::ExitProc = the_application->saved_exit_proc_;
  the_application->DestroyAll();
}

void TApplication::Run() {
  saved_exit_proc_ = platform::ExitProc;
  platform::ExitProc = DoneApplication;
  if (main_form_ != nullptr) {
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    const bool minimized = show_command_ == SW_SHOWMINIMIZED || show_command_ == SW_MINIMIZE ||
                           show_command_ == SW_SHOWMINNOACTIVE;
    main_form_->Show(show_command_ == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    if (minimized) Minimize();
  }
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    // Tab, the arrow keys and mnemonics move between the active form's controls.
    HWND active = GetActiveWindow();
    if (active != nullptr && active != window_ && IsDialogMessageA(active, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void TApplication::Minimize() { ShowWindow(window_, SW_MINIMIZE); }

void TApplication::SetScreenCursor(HCURSOR cursor) {
  screen_cursor_ = cursor;
  SetCursor(cursor != nullptr ? cursor : LoadCursorA(nullptr, IDC_ARROW));
}

void TApplication::HandleException(std::exception_ptr error) noexcept {
  try {
    std::string message;
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      message = e.what();
    } catch (...) {
      message = "An unexpected error occurred";
    }
    ShowMessageBox(DefaultHandlerText(message), title_, MB_ICONERROR);
  } catch (...) {
    // Nothing is left to report with; carry on with the next message.
  }
}

void TApplication::ShowPlainMessage(const std::string& text) {
  const HCURSOR busy = screen_cursor_;
  SetScreenCursor(nullptr);
  HWND previous = GetActiveWindow();
  {
    TModalScope scope(window_);
    TPlainMessage message{&text, &title_, &scope, {}};
    TEmptyDialogTemplate dialog_template{};
    dialog_template.header.style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    DialogBoxIndirectParamA(instance_, &dialog_template.header, window_, PlainMessageProcedure,
                            reinterpret_cast<LPARAM>(&message));
  }
  if (previous != nullptr && IsWindow(previous) && IsWindowVisible(previous))
    SetActiveWindow(previous);
  SetScreenCursor(busy);
}

int TApplication::ShowMessageBox(const std::string& text, const std::string& caption,
                                 UINT flags) {
  const HCURSOR busy = screen_cursor_;
  SetScreenCursor(nullptr);
  HWND owner = GetActiveWindow();
  int result;
  {
    // The system disables the owner itself and enables it before the box goes, so that
    // activation returns to it; the others are ours to disable.
    TModalScope scope(owner);
    result = MessageBoxA(owner, text.c_str(), caption.c_str(), MB_OK | flags);
  }
  SetScreenCursor(busy);
  return result;
}

LRESULT CALLBACK TApplication::WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                               LPARAM lparam) {
  try {
    TApplication* self = the_application;
    if (self != nullptr && self->window_ == window) {
      switch (message) {
        case WM_ACTIVATE: {
          // Clicking the task-bar button activates this window: hand that on to the form.
          HWND main = self->main_form_ ? self->main_form_->Handle() : nullptr;
          if (LOWORD(wparam) != WA_INACTIVE && main != nullptr && IsWindowVisible(main) &&
              IsWindowEnabled(main))
            SetActiveWindow(main);
          return 0;
        }
        case WM_CLOSE:
          if (self->main_form_ != nullptr) PostMessageA(self->main_form_->Handle(), WM_CLOSE, 0, 0);
          return 0;
        case WM_ENDSESSION:
          // Logging off or shutting down: the program ends here and now.
          if (wparam) {
            platform::RunExitProcs();
            ExitProcess(0);
          }
          return 0;
      }
    }
  } catch (...) {
    Application().HandleException(std::current_exception());
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace marivane::ui
