// The application object: the hidden top-level window that owns the task-bar button and the
// program's forms, the title, the screen cursor, the message loop, the default handler and
// the program's two kinds of message.
#pragma once

#include <windows.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "platform/exit_procs.h"
#include "ui/window.h"

namespace marivane::ui {

class TApplication final : public TWindow {
 public:
  explicit TApplication(HINSTANCE instance);
  ~TApplication() override;

  HINSTANCE Instance() const { return instance_; }
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

  // A plain message (see plain_message.h), owned by the hidden window, with the arrow cursor
  // while it is open.
  void ShowPlainMessage(const std::string& text);
  // The system's message box with its own caption and icon flag, owned by the active window.
  int ShowMessageBox(const std::string& text, const std::string& caption, UINT flags);

  // Destroys every form and the hidden window; the application's exit procedure.
  void DestroyAll();

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  static void DoneApplication();

  HINSTANCE instance_;
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

}  // namespace marivane::ui
