#include "dialog_driver.h"

#include <commctrl.h>
#include <shlobj.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "ui/application.h"

namespace marivane::test {
namespace {

TDialogDriver* active_driver = nullptr;

// How long a window may stay open and usable after its action before it counts as stuck.
constexpr UINT kStuckAfterMs = 5000;

// A test that hangs inside a modal loop ends the process instead of waiting for ctest.
struct TWatchdog {
  TWatchdog() {
    std::thread([] {
      std::this_thread::sleep_for(std::chrono::seconds(100));
      ExitProcess(124);
    }).detach();
  }
} watchdog;

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

TIcon IconOf(HWND dialog) {
  // The icon's control is 0x14 on Windows and 0x440 on Wine.
  for (int id : {0x14, 0x440}) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) continue;
    auto icon = reinterpret_cast<HICON>(SendMessageA(control, STM_GETICON, 0, 0));
    if (icon == nullptr) continue;
    if (icon == LoadIconA(nullptr, IDI_HAND)) return TIcon::Error;
    if (icon == LoadIconA(nullptr, IDI_ASTERISK)) return TIcon::Information;
    if (icon == LoadIconA(nullptr, IDI_EXCLAMATION)) return TIcon::Warning;
    if (icon == LoadIconA(nullptr, IDI_QUESTION)) return TIcon::Question;
  }
  return TIcon::None;
}

void Dismiss(HWND window) {
  if (ClassOf(window) == "#32770")
    PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  else
    PostMessageA(window, WM_CLOSE, 0, 0);
}

}  // namespace

std::string WindowText(HWND window) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(static_cast<std::size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

TDialogDriver::TDialogDriver() {
  active_driver = this;
  hook_ = SetWindowsHookExA(WH_CBT, CbtProcedure, nullptr, GetCurrentThreadId());
}

TDialogDriver::~TDialogDriver() {
  UnhookWindowsHookEx(hook_);
  for (const auto& [id, unused] : scheduled_) KillTimer(nullptr, id);
  for (const auto& [id, unused] : watched_) KillTimer(nullptr, id);
  active_driver = nullptr;
}

TDialogDriver& TDialogDriver::Then(TAction action) {
  actions_.push_back(std::move(action));
  return *this;
}

LRESULT CALLBACK TDialogDriver::CbtProcedure(int code, WPARAM wparam, LPARAM lparam) {
  // Wine also reports an activation of no window after a dialog closes.
  if (active_driver != nullptr && wparam != 0) {
    HWND window = reinterpret_cast<HWND>(wparam);
    if (code == HCBT_ACTIVATE) active_driver->Activated(window);
    if (code == HCBT_DESTROYWND) active_driver->handled_.erase(window);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

void TDialogDriver::Activated(HWND window) {
  // Under ctest -j the hook has seen other processes' boxes on Wine: only ours count.
  if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) return;
  // The about window is hidden, not destroyed, between showings: once it is out of sight,
  // its next showing is a new one.
  std::erase_if(handled_, [](HWND w) { return ClassOf(w) == "TAboutForm" && !IsWindowVisible(w); });
  const std::string window_class = ClassOf(window);
  if (window_class != "#32770" && window_class != "TAboutForm" && window_class != "TTemplateForm" &&
      window_class != "TBootPreview")
    return;
  // A window is activated again when a box over it closes; it is answered once.
  if (!handled_.insert(window).second) return;

  TSeenWindow seen_window;
  seen_window.window = window;
  seen_window.window_class = window_class;
  seen_window.caption = WindowText(window);
  if (HWND text = GetDlgItem(window, 0xFFFF)) seen_window.text = WindowText(text);
  seen_window.icon = IconOf(window);
  seen_window.owner = GetWindow(window, GW_OWNER);
  seen_window.cursor = GetCursor();
  if (ui::HasApplication()) seen_window.screen_cursor = ui::Application().ScreenCursor();
  if (actions_.empty()) {
    seen_window.unexpected = true;
    seen.push_back(seen_window);
    Dismiss(window);
    return;
  }
  seen.push_back(seen_window);
  // Run from a timer, that is from inside the window's own modal loop once it is up.
  const UINT_PTR id = SetTimer(nullptr, 0, 0, ActionTimer);
  scheduled_[id] = {window, std::move(actions_.front())};
  actions_.pop_front();
}

void CALLBACK TDialogDriver::ActionTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  TDialogDriver* self = active_driver;
  if (self == nullptr) return;
  auto found = self->scheduled_.find(id);
  if (found == self->scheduled_.end()) return;
  auto [window, action] = std::move(found->second);
  self->scheduled_.erase(found);
  const std::size_t index = self->seen.size() - 1;
  if (IsWindow(window)) action(window);
  self->watched_[SetTimer(nullptr, 0, kStuckAfterMs, StuckTimer)] = {window, index};
}

void CALLBACK TDialogDriver::StuckTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  TDialogDriver* self = active_driver;
  if (self == nullptr) return;
  auto found = self->watched_.find(id);
  if (found == self->watched_.end()) return;
  auto [window, index] = found->second;
  self->watched_.erase(found);
  // A window that owns a box of its own is disabled, and waiting, not stuck.
  if (IsWindow(window) && IsWindowVisible(window) && IsWindowEnabled(window)) {
    if (index < self->seen.size()) self->seen[index].stuck = true;
    Dismiss(window);
  }
}

namespace {
std::map<UINT_PTR, std::function<void()>> delayed;
void CALLBACK DelayedTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  auto found = delayed.find(id);
  if (found == delayed.end()) return;
  auto action = std::move(found->second);
  delayed.erase(found);
  action();
}
}  // namespace

void After(UINT milliseconds, std::function<void()> action) {
  delayed[SetTimer(nullptr, 0, milliseconds, DelayedTimer)] = std::move(action);
}

TAction Press(int id) {
  return [id](HWND window) { SendMessageA(GetDlgItem(window, id), BM_CLICK, 0, 0); };
}

namespace {
HWND FileNameEdit(HWND dialog) {
  // cmb13: a ComboBoxEx on Wine, a ComboBox on Windows; the edit lies at the bottom.
  HWND box = GetDlgItem(dialog, 0x47C);
  while (box != nullptr && ClassOf(box) != "Edit") box = GetWindow(box, GW_CHILD);
  return box;
}
}  // namespace

std::string ToolTipText(HWND tips, HWND control) {
  // The wide message: Wine hands out no more than 80 characters through the narrow one.
  std::wstring text(4096, L'\0');
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = GetParent(control);
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = text.data();
  SendMessageW(tips, TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&tool));
  std::string narrow(text.size() * 2, '\0');
  narrow.resize(static_cast<std::size_t>(WideCharToMultiByte(
      CP_ACP, 0, text.c_str(), -1, narrow.data(), static_cast<int>(narrow.size()), nullptr, nullptr)));
  if (!narrow.empty()) narrow.pop_back();  // the terminator
  return narrow;
}

HWND ToolTipsOf(HWND window) {
  HWND tips = nullptr;
  while ((tips = FindWindowExA(nullptr, tips, TOOLTIPS_CLASSA, nullptr)) != nullptr)
    if (GetWindow(tips, GW_OWNER) == window) break;
  return tips;
}

std::string FileNameBoxText(HWND dialog) {
  HWND edit = FileNameEdit(dialog);
  return edit ? WindowText(edit) : std::string();
}

TAction EnterFileName(const std::string& name) {
  return [name](HWND dialog) {
    SetWindowTextA(FileNameEdit(dialog), name.c_str());
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  };
}

TAction Cancel() {
  return [](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); };
}

void PressKey(HWND window, UINT key) {
  HWND target = GetFocus();
  if (target != window && !IsChild(window, target)) target = GetNextDlgTabItem(window, nullptr, FALSE);
  if (target == nullptr) target = window;
  PostMessageA(target, WM_KEYDOWN, key, 0);
  PostMessageA(target, WM_KEYUP, key, 0);
}

void Pump(DWORD milliseconds) {
  const ULONGLONG until = GetTickCount64() + milliseconds;
  do {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));
        return;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    Sleep(10);
  } while (GetTickCount64() < until);
}

HDROP MakeDrop(const std::vector<std::string>& files) {
  std::size_t chars = 1;  // the list's closing zero
  for (const std::string& file : files) chars += file.size() + 1;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars);
  auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = FALSE;
  char* names = reinterpret_cast<char*>(header + 1);
  for (const std::string& file : files) {
    std::memcpy(names, file.c_str(), file.size() + 1);
    names += file.size() + 1;
  }
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

bool DropReleased(HDROP drop) {
  // DragFinish frees the memory; a freed handle reports no size.
  return GlobalSize(drop) == 0;
}

}  // namespace marivane::test
