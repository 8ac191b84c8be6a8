// "Preview at Boot...": a slot's picture full screen on black, as the boot loader shows it in
// the display mode it takes on this screen, until a key or a click.
#pragma once

#include <windows.h>

#include "builder/boot_screen_builder.h"
#include "builder/picture.h"
#include "ui/window.h"

namespace marivane::ui {

// The slot whose picture the boot loader shows on a screen of this size: its mode is 1024 x 768
// where the screen holds that much, 800 x 600 on anything smaller.
TSlot BootSlotForScreen(int width, int height);

// Where the boot loader's 4:3 picture lands on `screen`: all of it where the shapes agree, the
// whole height between black bars on a wider screen, the whole width on a taller one, as a
// screen shows a mode of another shape.
RECT BootPictureBounds(const RECT& screen);

class TBootPreviewForm final : public TForm {
 public:
  // `picture` must outlive the form; it covers `screen`, the monitor's whole area.
  TBootPreviewForm(const TPicture& picture, const RECT& screen);
  ~TBootPreviewForm() override;
  // Shows the preview until a key or a mouse button is pressed.
  void ShowModal();

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  const TPicture& picture_;
  RECT screen_;
};

}  // namespace marivane::ui
