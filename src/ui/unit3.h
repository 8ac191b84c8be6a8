// The about window: the program's name and version, who makes it, and two links to them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/application.h"

namespace marivane::ui {

inline constexpr const char* kMakerMail = "marivane@example.org";
inline constexpr const char* kMakerWebPage = "https://marivane.example.org/";
inline constexpr int kLabel4Id = 304;
inline constexpr int kLabel7Id = 307;
// The link labels' colour: red 0, green 0, blue 202.
inline constexpr COLORREF kLinkColour = RGB(0, 0, 202);

class TAboutForm final : public TForm {
 public:
  explicit TAboutForm(TApplication& application);
  ~TAboutForm() override;

  // Shows the window, modal to the whole program, until OK or the caption's close button.
  // IDOK or IDCANCEL.
  int ShowModal();

  void Label4Click();
  void Label7Click();
  void Button1Click();

  HWND Image1 = nullptr;
  HWND Label1 = nullptr;
  HWND Label2 = nullptr;
  HWND Label5 = nullptr;
  HWND Label3 = nullptr;
  HWND Label4 = nullptr;
  HWND Label6 = nullptr;
  HWND Label7 = nullptr;
  HWND Button1 = nullptr;

  // How a link is opened: the shell's "open" on the address. Tests put their own here.
  std::function<void(HWND owner, const std::string& address)> open_link;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void PlaceFirstTime() override;

 private:
  HWND CreateLabel(const char* text, int left, int top, HFONT font, int id);

  TApplication& application_;
  platform::TFontHandle font_;
  platform::TFontHandle bold_font_;
  platform::TFontHandle link_font_;
  platform::TIconHandle icon_;
};

extern TAboutForm* AboutForm;

}  // namespace marivane::ui
