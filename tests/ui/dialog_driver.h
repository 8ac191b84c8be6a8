// Answers the program's modal windows from inside the test process: a CBT hook sees each
// message box, file dialog and about window come up, records what it shows and runs the next
// queued action on it from the window's own modal loop.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace marivane::test {

enum class TIcon { None, Error, Information, Warning, Question };

struct TSeenWindow {
  HWND window = nullptr;
  std::string window_class;
  std::string caption;
  std::string text;  // a message box's text
  TIcon icon = TIcon::None;
  HWND owner = nullptr;
  HCURSOR cursor = nullptr;         // GetCursor() as it came up
  HCURSOR screen_cursor = nullptr;  // the application's screen cursor then
  bool unexpected = false;          // no action was queued for it; it was cancelled
  bool stuck = false;               // still open and enabled long after its action
};

using TAction = std::function<void(HWND)>;

class TDialogDriver {
 public:
  TDialogDriver();
  ~TDialogDriver();
  TDialogDriver(const TDialogDriver&) = delete;
  TDialogDriver& operator=(const TDialogDriver&) = delete;

  TDialogDriver& Then(TAction action);
  std::vector<TSeenWindow> seen;
  std::size_t Pending() const { return actions_.size(); }

 private:
  static LRESULT CALLBACK CbtProcedure(int code, WPARAM wparam, LPARAM lparam);
  static void CALLBACK ActionTimer(HWND, UINT, UINT_PTR id, DWORD);
  static void CALLBACK StuckTimer(HWND, UINT, UINT_PTR id, DWORD);
  void Activated(HWND window);

  HHOOK hook_ = nullptr;
  std::deque<TAction> actions_;
  std::set<HWND> handled_;
  std::map<UINT_PTR, std::pair<HWND, TAction>> scheduled_;
  std::map<UINT_PTR, std::pair<HWND, std::size_t>> watched_;
};

// Runs `action` from the message loop after `milliseconds`.
void After(UINT milliseconds, std::function<void()> action);

// BM_CLICK on the window's control `id`.
TAction Press(int id);
// Types a name into a file dialog and presses its Open or Save button.
TAction EnterFileName(const std::string& name);
// Cancels a dialog.
TAction Cancel();

// Posts a key press to the control of `window` that has the focus, as typing would. When the
// focus has left the process (another program's window took the screen), the window's first
// tab stop stands in for it.
void PressKey(HWND window, UINT key);

// What the tooltip control `tips` shows over `control`; empty for nothing. The tooltip of a
// window the test did not make is found among the windows it owns.
std::string ToolTipText(HWND tips, HWND control);
HWND ToolTipsOf(HWND window);

// The text in a file dialog's name box.
std::string FileNameBoxText(HWND dialog);
std::string WindowText(HWND window);

// Dispatches this thread's messages for a while.
void Pump(DWORD milliseconds);

// A dropped file list as the shell hands it to a window, made in this process.
HDROP MakeDrop(const std::vector<std::string>& files);
// True when the list has been released with DragFinish.
bool DropReleased(HDROP drop);

}  // namespace marivane::test
