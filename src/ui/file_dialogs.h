// The open and save dialogs: the system's Explorer-style file dialogs, modal to the whole
// program, placed centred across and a third of the way down the active window's monitor.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>

namespace marivane::ui {

class TFileDialog {
 public:
  enum class TKind { Open, Save };
  explicit TFileDialog(TKind kind) : kind_(kind) {}

  // "Description|pattern", as many pairs as needed.
  std::string filter;
  // Empty for the system's own title.
  std::string title;
  // Pre-filled when the dialog opens; the chosen file's full path after Execute.
  std::string file_name;
  // Where the dialog starts while no file name is filled in; empty for the system's choice.
  std::string initial_folder;
  // OFN_ flags as the dialog is opened with; the placement hook is added on top.
  DWORD options = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY;

  // True when the user chose a file; false when cancelled.
  bool Execute();

 private:
  static UINT_PTR CALLBACK HookProcedure(HWND child, UINT message, WPARAM wparam, LPARAM lparam);
  TKind kind_;
  HWND placement_window_ = nullptr;
};

}  // namespace marivane::ui
