#include "ui/file_dialogs.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "ui/application.h"

namespace marivane::ui {
namespace {

// Room for a long path; the system truncates nothing shorter.
constexpr std::size_t kFileNameCapacity = 1024;

void PlaceOnMonitorOf(HWND dialog, HWND reference) {
  HMONITOR monitor = MonitorFromWindow(reference, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (!GetMonitorInfoA(monitor, &info)) return;
  RECT bounds{};
  GetWindowRect(dialog, &bounds);
  const int width = bounds.right - bounds.left;
  const int height = bounds.bottom - bounds.top;
  const RECT& area = info.rcWork;
  const int left = area.left + ((area.right - area.left) - width) / 2;
  const int top = area.top + ((area.bottom - area.top) - height) / 3;
  SetWindowPos(dialog, nullptr, std::max<int>(left, area.left), std::max<int>(top, area.top), 0,
               0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

UINT_PTR CALLBACK TFileDialog::HookProcedure(HWND child, UINT message, WPARAM, LPARAM lparam) {
  try {
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrA(child, GWLP_USERDATA,
                        reinterpret_cast<const OPENFILENAMEA*>(lparam)->lCustData);
    } else if (message == WM_NOTIFY &&
               reinterpret_cast<const NMHDR*>(lparam)->code == CDN_INITDONE) {
      // The hook's window is a child of the Explorer dialog; the dialog is its parent, sized
      // by now.
      auto* self = reinterpret_cast<TFileDialog*>(GetWindowLongPtrA(child, GWLP_USERDATA));
      PlaceOnMonitorOf(GetParent(child), self->placement_window_);
    }
  } catch (...) {
    Application().HandleException(std::current_exception());
  }
  return 0;  // the dialog's own handling goes on
}

bool TFileDialog::Execute() {
  std::vector<char> filters(filter.begin(), filter.end());
  std::replace(filters.begin(), filters.end(), '|', '\0');
  filters.insert(filters.end(), 2, '\0');
  std::vector<char> file(kFileNameCapacity, '\0');
  file_name.copy(file.data(), std::min(file_name.size(), file.size() - 1));

  placement_window_ = GetActiveWindow();
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof(dialog);
  // Owned by the hidden application window, like every modal window of the program.
  dialog.hwndOwner = Application().Handle();
  dialog.lpstrFilter = filters.data();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
  dialog.lpstrInitialDir = initial_folder.empty() ? nullptr : initial_folder.c_str();
  // No default extension: a name typed without one is used as typed.
  dialog.lpstrDefExt = nullptr;
  dialog.Flags = options | OFN_ENABLEHOOK;
  dialog.lpfnHook = HookProcedure;
  dialog.lCustData = reinterpret_cast<LPARAM>(this);

  BOOL chosen;
  {
    TModalScope scope(Application().Handle());
    chosen = kind_ == TKind::Open ? GetOpenFileNameA(&dialog) : GetSaveFileNameA(&dialog);
  }
  if (placement_window_ != nullptr && IsWindow(placement_window_) &&
      IsWindowVisible(placement_window_))
    SetActiveWindow(placement_window_);
  if (!chosen) return false;
  file_name = file.data();
  return true;
}

}  // namespace marivane::ui
