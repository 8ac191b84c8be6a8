#include "ui/unit3.h"

#include <shellapi.h>

#include <algorithm>

#include "marivane_version.h"
#include "resources/resource.h"
#include "ui/controls.h"

namespace marivane::ui {

TAboutForm* AboutForm = nullptr;

namespace {

constexpr char kAboutClass[] = "TAboutForm";
constexpr int kClientWidth = 443;
constexpr int kClientHeight = 233;
// Between the longest line and the window's right edge, at 96 dpi.
constexpr int kRightMargin = 8;
// A fixed dialog frame: the modal frame also takes the caption's icon away.
constexpr DWORD kAboutStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kAboutExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

void OpenWithShell(HWND owner, const std::string& address) {
  // A missing mail program or browser shows nothing here: the result is not looked at.
  ShellExecuteA(owner, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

TAboutForm::TAboutForm(TApplication& application)
    : open_link(OpenWithShell), application_(application) {
  AboutForm = this;
  RegisterClassOnce(kAboutClass, nullptr);
  font_ = MakeFont("Tahoma", 8);
  bold_font_ = MakeFont("Tahoma", 8, TFontStyle::Bold);
  link_font_ = MakeFont("Tahoma", 8, TFontStyle::Underlined);

  RECT frame{0, 0, Scaled(kClientWidth), Scaled(kClientHeight)};
  AdjustWindowRectEx(&frame, kAboutStyle, FALSE, kAboutExStyle);
  CreateHandle(kAboutClass, "About", kAboutStyle, kAboutExStyle,
               {0, 0, frame.right - frame.left, frame.bottom - frame.top}, application_.Handle(),
               nullptr);

  const int icon_size = Scaled(48);
  icon_.Reset(static_cast<HICON>(LoadImageA(application_.Instance(), MAKEINTRESOURCEA(IDI_MARIVANE),
                                            IMAGE_ICON, icon_size, icon_size, 0)));
  const RECT icon_bounds{Scaled(8), Scaled(8), Scaled(8) + icon_size, Scaled(8) + icon_size};
  Image1 = CreateControl(handle_, "STATIC", "", WS_VISIBLE | SS_ICON | SS_REALSIZEIMAGE,
                         icon_bounds, kNoCommandId, font_.Get());
  SendMessageA(Image1, STM_SETICON, reinterpret_cast<WPARAM>(icon_.Get()), 0);

  Label1 = CreateLabel("Marivane v" MARIVANE_VERSION_SHORT " (BETA)", 64, 28, bold_font_.Get(),
                       kNoCommandId);
  Label2 = CreateLabel("Made by the Marivane project, 2025", 64, 64, font_.Get(), kNoCommandId);
  Label5 = CreateLabel("For everyone who still starts Windows Vista in the morning.", 64, 88,
                       font_.Get(), kNoCommandId);
  Label3 = CreateLabel("Send any bug reports, comments or suggestions regarding this tool to:", 64,
                       120, font_.Get(), kNoCommandId);
  Label4 = CreateLabel(kMakerMail, 64, 136, link_font_.Get(), kLabel4Id);
  Label6 = CreateLabel("For updates, check out my blog:", 64, 160, font_.Get(), kNoCommandId);
  Label7 = CreateLabel(kMakerWebPage, 64, 176, link_font_.Get(), kLabel7Id);
  // Vista's Tahoma 8 leaves the longest line, Label3, some 35 pixels to spare; a wider
  // stand-in (Wine's DejaVu Sans: 404 of 379 pixels) widens the window rather than cut it.
  int client_width = Scaled(kClientWidth);
  for (HWND label : {Label1, Label2, Label5, Label3, Label4, Label6, Label7}) {
    RECT bounds{};
    GetWindowRect(label, &bounds);
    MapWindowPoints(nullptr, handle_, reinterpret_cast<POINT*>(&bounds), 2);
    client_width = std::max<int>(client_width, bounds.right + Scaled(kRightMargin));
  }
  if (client_width > Scaled(kClientWidth)) {
    frame = {0, 0, client_width, Scaled(kClientHeight)};
    AdjustWindowRectEx(&frame, kAboutStyle, FALSE, kAboutExStyle);
    SetWindowPos(handle_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // OK keeps its place from the bottom right corner.
  RECT button = ScaledBounds(360, 201, 75, 25);
  const int shift = client_width - Scaled(kClientWidth);
  button.left += shift;
  button.right += shift;
  Button1 = CreateControl(handle_, "BUTTON", "OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                          button, IDOK, font_.Get());
}

TAboutForm::~TAboutForm() {
  DestroyHandle();
  if (AboutForm == this) AboutForm = nullptr;
}

HWND TAboutForm::CreateLabel(const char* text, int left, int top, HFONT font, int id) {
  const SIZE size = TextSize(font, text);
  // SS_NOTIFY makes a click on the label a command to this window.
  return CreateControl(handle_, "STATIC", text, WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_NOTIFY,
                       {Scaled(left), Scaled(top), Scaled(left) + size.cx, Scaled(top) + size.cy},
                       id, font);
}

void TAboutForm::PlaceFirstTime() {
  // Centred on the main window the first time; later it opens where it was left.
  CentreWindow(handle_, TCentreOn::MainForm);
}

int TAboutForm::ShowModal() { return RunModal(Button1); }

void TAboutForm::Label4Click() {
  open_link(handle_, std::string("mailto:") + kMakerMail + "?subject=Marivane");
}

void TAboutForm::Label7Click() { open_link(handle_, kMakerWebPage); }

void TAboutForm::Button1Click() { modal_result_ = IDOK; }

LRESULT TAboutForm::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case kLabel4Id: if (HIWORD(wparam) == STN_CLICKED) Label4Click(); return 0;
        case kLabel7Id: if (HIWORD(wparam) == STN_CLICKED) Label7Click(); return 0;
        case IDOK: Button1Click(); return 0;
        case IDCANCEL: return 0;  // Esc leaves the window open
      }
      return 0;
    // Enter presses OK, the default button.
    case DM_GETDEFID: return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_CLOSE: modal_result_ = IDCANCEL; return 0;
    case WM_CTLCOLORSTATIC: {
      HWND control = reinterpret_cast<HWND>(lparam);
      HDC dc = reinterpret_cast<HDC>(wparam);
      if (control == Label4 || control == Label7) SetTextColor(dc, kLinkColour);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_SETCURSOR: {
      HWND over = reinterpret_cast<HWND>(wparam);
      if (over == Label4 || over == Label7) {
        SetCursor(LoadCursorA(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    }
  }
  return TForm::HandleMessage(message, wparam, lparam);
}

}  // namespace marivane::ui
