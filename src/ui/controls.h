// The child windows of the main window that are more than a plain system control: the group
// box that carries other controls and lets its owner see its messages first, and the picture
// box that draws a slot's picture.
#pragma once

#include <windows.h>

#include <functional>

#include "builder/picture.h"
#include "ui/forms.h"

namespace marivane::ui {

// One window message as a handler sees it; Result is what the window procedure returns.
struct TMessage {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

// A window procedure with its bound object.
using TWindowProc = std::function<void(TMessage&)>;

// A group box that holds controls of its own. The system's group box knows nothing of
// children, so the box's own handler passes their notifications up to the form, paints the
// background under them and takes part in hit-testing (see DefaultHandler).
class TGroupBox : platform::TNonCopyable {
 public:
  TGroupBox() = default;
  ~TGroupBox();

  void Create(HWND parent, const char* caption, const RECT& bounds, HFONT font);
  HWND Handle() const { return handle_; }

  // Every message of the box's window goes through WindowProc, which starts out as
  // DefaultHandler; a form may put its own in front.
  TWindowProc WindowProc;
  void DefaultHandler(TMessage& message);

 private:
  static LRESULT CALLBACK SubclassProcedure(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam);
  HWND handle_ = nullptr;
  WNDPROC system_procedure_ = nullptr;
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

// Draws `picture` scaled to fill `bounds` exactly. Bitmaps are shrunk by dropping rows and
// columns; only a display of 8 bits per pixel or fewer, shallower than the bitmap, gets
// halftoning instead.
void PaintPreview(HDC dc, const RECT& bounds, const TPicture& picture);

// A system control as a child of `parent`, in the parent's font.
HWND CreateControl(HWND parent, const char* window_class, const char* text, DWORD style,
                   const RECT& bounds, int id, HFONT font);

}  // namespace marivane::ui
