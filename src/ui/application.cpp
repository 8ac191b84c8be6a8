#include "ui/application.h"

#include "base/errors.h"
#include "platform/platform.h"
#include "resources/resource.h"
#include "ui/plain_message.h"

namespace marivane::ui {
namespace {

TApplication* the_application = nullptr;

constexpr char kApplicationClass[] = "TApplication";

}  // namespace

TApplication::TApplication(HINSTANCE instance) : instance_(instance) {
  the_application = this;
  icon_ = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_MARIVANE), IMAGE_ICON,
                                        GetSystemMetrics(SM_CXICON),
                                        GetSystemMetrics(SM_CYICON), LR_SHARED));
  small_icon_ = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_MARIVANE),
                                              IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                              GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  // No background: the window has no client area to paint.
  RegisterClassOnce(kApplicationClass, icon_, small_icon_, nullptr);
  // A top-level window of no size in the middle of the screen: it owns the task-bar button,
  // and every form is owned by it, so no form gets a button of its own.
  const int centre_x = GetSystemMetrics(SM_CXSCREEN) / 2;
  const int centre_y = GetSystemMetrics(SM_CYSCREEN) / 2;
  CreateHandle(kApplicationClass, "",
               WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, 0,
               {centre_x, centre_y, centre_x, centre_y}, nullptr, nullptr);
}

TApplication::~TApplication() {
  DestroyAll();
  if (the_application == this) the_application = nullptr;
}

TApplication& Application() { return *the_application; }
bool HasApplication() { return the_application != nullptr; }

void TApplication::SetTitle(const std::string& title) {
  title_ = title;
  SetWindowTextA(handle_, title_.c_str());
}

void TApplication::DestroyAll() {
  while (!forms_.empty()) forms_.pop_back();
  main_form_ = nullptr;
  DestroyHandle();
}

void TApplication::DoneApplication() {
  platform::ExitProc = the_application->saved_exit_proc_;
  the_application->DestroyAll();
}

void TApplication::Run() {
  saved_exit_proc_ = platform::ExitProc;
  platform::ExitProc = DoneApplication;
  if (main_form_ != nullptr) {
    ShowWindow(handle_, SW_SHOWNOACTIVATE);
    const bool minimized = show_command_ == SW_SHOWMINIMIZED || show_command_ == SW_MINIMIZE ||
                           show_command_ == SW_SHOWMINNOACTIVE;
    main_form_->Show(show_command_ == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    if (minimized) Minimize();
  }
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    // Tab, the arrow keys and mnemonics move between the active form's controls.
    HWND active = GetActiveWindow();
    if (active != nullptr && active != handle_ && IsDialogMessageA(active, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void TApplication::Minimize() { ShowWindow(handle_, SW_MINIMIZE); }

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
  TPlainMessageBox(text, title_).ShowModal(handle_);
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

LRESULT TApplication::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ACTIVATE: {
      // Clicking the task-bar button activates this window: hand that on to the form.
      HWND main = main_form_ != nullptr ? main_form_->Handle() : nullptr;
      if (LOWORD(wparam) != WA_INACTIVE && main != nullptr && IsWindowVisible(main) &&
          IsWindowEnabled(main))
        SetActiveWindow(main);
      return 0;
    }
    case WM_CLOSE:
      if (main_form_ != nullptr) PostMessageA(main_form_->Handle(), WM_CLOSE, 0, 0);
      return 0;
    case WM_ENDSESSION:
      // Logging off or shutting down: the program ends here and now.
      if (wparam) {
        platform::RunExitProcs();
        ExitProcess(0);
      }
      return 0;
  }
  return TWindow::HandleMessage(message, wparam, lparam);
}

}  // namespace marivane::ui
