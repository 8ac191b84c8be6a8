// The dialog an import asks its framing in: a preview of the picture as the slot will hold it,
// and the three ways of fitting it to the slot's shape, Fill first.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "builder/picture_import.h"
#include "platform/win32_handles.h"
#include "ui/window.h"

namespace marivane::ui {

inline constexpr int kFillRadioId = 401;
inline constexpr int kFitRadioId = 402;
inline constexpr int kStretchRadioId = 403;
inline constexpr int kImportPreviewId = 404;

// The preview: one framing, drawn pixel for pixel (it is made at the control's size).
class TImportPreview final : public TWindow {
 public:
  void Create(HWND parent, const RECT& bounds);
  // Shows `image`, whose rows are padded to 4 bytes as a DIB's; it must live as long as it
  // is shown.
  void Show(const TRgbImage& image, const std::vector<std::uint8_t>& rows);

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  void Paint(HDC dc);
  const TRgbImage* image_ = nullptr;
  const std::vector<std::uint8_t>* rows_ = nullptr;
};

class TImportModeDialog final : public TWindow {
 public:
  // Makes the three framings of the upright `picture` at the preview's size; the caller shows
  // the busy cursor meanwhile. `caption` is the dialog's title, `path` the picture's file.
  TImportModeDialog(const TRgbImage& picture, std::string caption, const std::string& path,
                    std::int32_t slot_width, std::int32_t slot_height);

  // Modal to the whole program; true when OK was pressed, with mode() as chosen.
  bool ShowModal(HWND owner);
  TImportMode mode() const { return mode_; }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  struct TFraming {
    TRgbImage image;
    std::vector<std::uint8_t> rows;  // image.bgr with each row padded to 4 bytes
  };
  void LayOut();
  void Choose(TImportMode mode);
  HWND AddControl(const char* window_class, const std::string& text, DWORD style, int left,
                  int top, int width, int height, int id);

  std::string caption_;
  int client_width_ = 0;  // at 96 dpi
  std::string description_;
  std::array<TFraming, 3> framings_;  // in TImportMode's order
  TImportMode mode_ = TImportMode::Fill;
  TImportPreview preview_;
  platform::TFontHandle font_;
  TModalScope* scope_ = nullptr;
};

}  // namespace marivane::ui
