// The small window toolkit the program's two windows are built on: a window object bound to
// its handle, the application object with its hidden task-bar window, message loop and
// default handler, and the program-wide modal state that message boxes and dialogs share.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/exit_procs.h"
#include "platform/win32_handles.h"

namespace marivane::ui {

class TApplication;

// A window object: `this` is bound to the handle at WM_NCCREATE, and every message goes to
// HandleMessage. No exception leaves the window procedure: it is caught there and handed to
// the application's default handler, as the frames of user32 between us and the message loop
// cannot be unwound through.
class TWindow : platform::TNonCopyable {
 public:
  TWindow() = default;
  virtual ~TWindow();

  HWND Handle() const { return handle_; }
  void DestroyHandle();

 protected:
  // Registers the class on first use; the class cursor is the arrow.
  static void RegisterClassOnce(const char* class_name, HICON icon);
  void CreateHandle(const char* class_name, const char* caption, DWORD style, DWORD ex_style,
                    const RECT& bounds, HWND owner, HMENU menu);
  virtual LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

  HWND handle_ = nullptr;

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                          LPARAM lparam);
};

// A top-level window of the program.
class TForm : public TWindow {
 public:
  // The first showing runs FormShow before the window is placed and drawn.
  void Show(int show_command = SW_SHOWNORMAL);
  bool Visible() const { return handle_ != nullptr && IsWindowVisible(handle_) != FALSE; }

 protected:
  virtual void FormShow() {}
  // Where the window goes the first time it is shown.
  virtual void PlaceFirstTime() {}
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  bool shown_before_ = false;
};

// While it lives, every other enabled window of this thread is disabled, as a modal window
// of the program requires; Release (or the destructor) enables them again.
class TModalScope : platform::TNonCopyable {
 public:
  explicit TModalScope(HWND except = nullptr);
  ~TModalScope() { Release(); }
  void Release();

 private:
  std::vector<HWND> disabled_;
};

// The application object: the hidden top-level window that owns the task-bar button and the
// program's forms, the title, the screen cursor, the message loop and the default handler.
class TApplication : platform::TNonCopyable {
 public:
  explicit TApplication(HINSTANCE instance);
  ~TApplication();

  HINSTANCE Instance() const { return instance_; }
  HWND Handle() const { return window_; }
  HICON Icon() const { return icon_; }
  HICON SmallIcon() const { return small_icon_; }

  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title);

  // Forms live as long as the application; the first one created is the main form.
  template <typename Form, typename... Args>
  Form& CreateForm(Args&&... args) {
    auto form = std::make_unique<Form>(*this, std::forward<Args>(args)...);
    Form& created = *form;
    forms_.push_back(std::move(form));
    if (main_form_ == nullptr) main_form_ = &created;
    return created;
  }
  TForm* MainForm() const { return main_form_; }

  // The start-up show command of the process (SW_SHOWMINIMIZED and the like).
  void SetShowCommand(int show_command) { show_command_ = show_command; }
  // Installs the application's exit procedure, shows the main form and runs the message
  // loop until the quit message.
  void Run();
  // Ends the message loop.
  void Terminate() { PostQuitMessage(0); }
  // Minimises the program: the hidden window takes its owned windows with it.
  void Minimize();

  // The screen cursor: null for the windows' own (the arrow), or one that shows over every
  // window of the program.
  HCURSOR ScreenCursor() const { return screen_cursor_; }
  void SetScreenCursor(HCURSOR cursor);

  // The error box for an exception that left an event handler.
  void HandleException(std::exception_ptr error) noexcept;

  // A plain message: a modal box of our own with the text, no icon, one OK button that Enter
  // and Esc both press, the title as caption, centred on the screen, owned by the hidden
  // window, all other windows disabled and the arrow cursor while it is open.
  void ShowPlainMessage(const std::string& text);
  // The system's message box with its own caption and icon flag, owned by the active window.
  int ShowMessageBox(const std::string& text, const std::string& caption, UINT flags);

  // Destroys every form and the hidden window; the application's exit procedure.
  void DestroyAll();

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                          LPARAM lparam);
  static void DoneApplication();

  HINSTANCE instance_;
  HWND window_ = nullptr;
  HICON icon_ = nullptr;
  HICON small_icon_ = nullptr;
  std::string title_;
  std::vector<std::unique_ptr<TForm>> forms_;
  TForm* main_form_ = nullptr;
  int show_command_ = SW_SHOWNORMAL;
  HCURSOR screen_cursor_ = nullptr;
  platform::TExitProc saved_exit_proc_ = nullptr;
};

// The one application object of the process; the default handler of every window needs it.
TApplication& Application();
bool HasApplication();

// Pixels at 96 dpi in the screen's pixels, as the windows are laid out.
int Scaled(int pixels);
RECT ScaledBounds(int left, int top, int width, int height);
// A font of `points` points at the screen's resolution.
platform::TFontHandle MakeFont(const char* face, int points, bool bold = false,
                               bool underline = false);
// The size a one-line text takes in a font.
SIZE TextSize(HFONT font, const std::string& text);

}  // namespace marivane::ui
