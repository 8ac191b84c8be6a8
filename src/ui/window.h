// The window base every window of the program stands on, the forms among them, the
// program-wide modal state that message boxes and dialogs share, and the helpers that lay the
// windows out at the screen's resolution.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32_handles.h"

namespace marivane::ui {

// One window message as a window procedure sees it; `result` is what the window answers.
struct TMessage {
  UINT msg;
  WPARAM wparam;
  LPARAM lparam;
  LRESULT result;
};

// A window procedure with its bound object.
using TWindowProc = std::function<void(TMessage&)>;

// A window object, and the one way messages reach the program's code. A window of our own
// class is bound to `this` at WM_NCCREATE; a window the system made (a system control, a
// dialog box) is taken over with Subclass, and what HandleMessage leaves goes on to its own
// procedure. No exception leaves WindowProcedure: it is caught there and handed to the
// application's default handler, as the frames of user32 between us and the message loop
// cannot be unwound through.
class TWindow : TNonCopyable {
 public:
  TWindow();
  virtual ~TWindow();

  HWND Handle() const { return handle_; }
  void DestroyHandle();

  // Every message of the window goes through this procedure, inside the firewall. It starts
  // out as HandleMessage; another object may put its own in front, keeping this one to pass
  // on what it leaves.
  TWindowProc window_proc;

 protected:
  // Registers the class on first use; the class cursor is the arrow.
  static void RegisterClassOnce(const char* class_name, HICON icon, HICON small_icon = nullptr,
                                HBRUSH background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  void CreateHandle(const char* class_name, const char* caption, DWORD style, DWORD ex_style,
                    const RECT& bounds, HWND owner, HMENU menu);
  // Binds a window the system made; its messages come here first from now on.
  void Subclass(HWND window);
  // Runs a modal dialog box of `dialog_template`, bound from WM_INITDIALOG on; the value
  // given to EndDialog.
  INT_PTR RunDialog(const DLGTEMPLATE& dialog_template, HWND owner);
  virtual LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

  HWND handle_ = nullptr;

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                          LPARAM lparam);
  static INT_PTR CALLBACK DialogStart(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  void Bind(HWND window);
  void Unbind();
  LRESULT Dispatch(UINT message, WPARAM wparam, LPARAM lparam) noexcept;

  // The subclassed window's own procedure; null for a window of our own class.
  WNDPROC system_procedure_ = nullptr;
};

// A top-level window of the program.
class TForm : public TWindow {
 public:
  // The first showing runs FormShow before the window is placed and drawn.
  void Show(int show_command = SW_SHOWNORMAL);

 protected:
  virtual void FormShow() {}
  // Where the window goes the first time it is shown.
  virtual void PlaceFirstTime() {}
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

  // Shows the window modal, the focus on `first`, until modal_result_ is set (IDCANCEL when
  // the program is ending); hands the focus back to the window active before.
  int RunModal(HWND first);
  int modal_result_ = 0;

 private:
  bool shown_before_ = false;
};

// A dialog template with no controls: they are made at WM_INITDIALOG, in pixels.
struct alignas(4) TEmptyDialogTemplate {
  DLGTEMPLATE header;
  WORD menu = 0;
  WORD window_class = 0;
  WORD title = 0;
};

// While it lives, every other enabled window of this thread is disabled, as a modal window
// of the program requires; Release (or the destructor) enables them again.
class TModalScope : TNonCopyable {
 public:
  explicit TModalScope(HWND except = nullptr);
  ~TModalScope() { Release(); }
  void Release();

 private:
  std::vector<HWND> disabled_;
};

// Pixels at 96 dpi in the screen's pixels, as the windows are laid out.
int Scaled(int pixels);
RECT ScaledBounds(int left, int top, int width, int height);
// What a window is centred on: the program's main window (the screen while there is none, and
// for the main window itself), or the screen.
enum class TCentreOn { MainForm, Screen };
// Moves `window` to the middle of `on`; with `size` it takes that size too, else it keeps its
// own.
void CentreWindow(HWND window, TCentreOn on, std::optional<SIZE> size = std::nullopt);
// A font of `points` points at the screen's resolution.
enum class TFontStyle { Regular, Bold, Underlined };
platform::TFontHandle MakeFont(const char* face, int points,
                               TFontStyle style = TFontStyle::Regular);
// The size a one-line text takes in a font.
SIZE TextSize(HFONT font, const std::string& text);
// `text` as it fits in `width` pixels of `font`: whole, or with its middle given up for "..."
// so that both ends stay in sight; a path keeps its file name as long as it can. Wine draws
// nothing at all for a static with SS_PATHELLIPSIS, so the program shortens paths itself.
std::string FitInMiddle(HFONT font, const std::string& text, int width);

}  // namespace marivane::ui
