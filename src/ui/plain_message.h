// The plain message: a modal box of our own with the text, no icon, one OK button that Enter
// and Esc both press, centred on the screen, all other windows of the program disabled while
// it is open. A dialog box of the system's class, so that it looks and answers like one.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "platform/win32_handles.h"
#include "ui/window.h"

namespace marivane::ui {

class TPlainMessageBox final : public TWindow {
 public:
  TPlainMessageBox(std::string text, std::string caption)
      : text_(std::move(text)), caption_(std::move(caption)) {}

  // Returns once OK is pressed.
  void ShowModal(HWND owner);

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  void LayOut();

  std::string text_;
  std::string caption_;
  platform::TFontHandle font_;
  TModalScope* scope_ = nullptr;
};

}  // namespace marivane::ui
