// The child windows of the main window that are more than a plain system control: the group
// box that carries other controls, and the picture box that draws a slot's picture.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "builder/picture.h"
#include "platform/win32_handles.h"
#include "ui/window.h"

namespace marivane::ui {

// A group box that holds controls of its own: the system's group box, subclassed. It knows
// nothing of children, so the box passes their notifications up to the form, paints the
// background under them and takes part in hit-testing.
class TGroupBox final : public TWindow {
 public:
  void Create(HWND parent, const char* caption, const RECT& bounds, HFONT font);

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
};

// A picture box that stretches its picture to fill it; nothing is drawn for an empty one.
class TImage final : public TWindow {
 public:
  void Create(HWND parent, const RECT& bounds, const TPicture& picture);
  void Invalidate() { InvalidateRect(handle_, nullptr, TRUE); }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  const TPicture* picture_ = nullptr;
};

// The tooltips of one window's controls: a text shows while the mouse rests over its control.
// The control belongs to the window; the tooltip goes when the window goes.
class TToolTips : TNonCopyable {
 public:
  void Create(HWND window);
  // Shows `text` over `control` from now on; an empty text shows nothing. A control that does
  // not take the mouse itself (a disabled one, a plain static) has it over its place on its
  // parent, which does. A line longer than fits on the screen is broken after a backslash.
  void Set(HWND control, const std::string& text);
  HWND Handle() const { return handle_; }

 private:
  HWND handle_ = nullptr;
  std::vector<HWND> tools_;
};

// Draws `picture` scaled to fill `bounds` exactly. Bitmaps are shrunk by dropping rows and
// columns; only a display of 8 bits per pixel or fewer, shallower than the bitmap, gets
// halftoning instead.
void PaintPreview(HDC dc, const RECT& bounds, const TPicture& picture);

// The id of a control whose commands nobody answers, a label or a frame: IDC_STATIC's.
inline constexpr int kNoCommandId = -1;

// A system control as a child of `parent`, in the parent's font.
HWND CreateControl(HWND parent, const char* window_class, const char* text, DWORD style,
                   const RECT& bounds, int id, HFONT font);

}  // namespace marivane::ui
