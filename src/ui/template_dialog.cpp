#include "ui/template_dialog.h"

#include <algorithm>

#include "platform/system_languages.h"

namespace marivane::ui {

namespace {

constexpr char kTemplateClass[] = "TTemplateForm";
constexpr DWORD kTemplateStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kTemplateExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
// Laid out at 96 dpi like the other windows: one line per choice, a second, greyed, for the
// reason a file cannot serve.
constexpr int kWidth = 480;
constexpr int kMargin = 12;
constexpr int kLine = 20;
constexpr int kReasonLine = 16;
constexpr int kRadioBoxWidth = 18;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

}  // namespace

std::vector<TTemplateChoice> AvailableTemplates() {
  std::vector<TTemplateChoice> found{TTemplateChoice{}};
  for (const platform::TSystemLanguageFile& file : platform::SystemLanguageFiles()) {
    TTemplateChoice choice = DescribeLanguageFile(file.path);
    choice.folder = file.language;
    found.push_back(std::move(choice));
  }
  return found;
}

std::string ChoiceTitle(const TTemplateChoice& choice, const std::string& install_language) {
  if (choice.BuiltIn()) return "Built-in template: en-US (x86template)";
  const bool usable = choice.problem.empty();
  if (choice.folder.empty())
    return usable ? choice.language + (choice.name.empty() ? "" : " - " + choice.name) : "";
  const std::string folder_name = platform::FolderLanguageDisplayName(choice.folder);
  std::string title = choice.folder + (folder_name.empty() ? "" : " - " + folder_name);
  if (lstrcmpiA(choice.folder.c_str(), install_language.c_str()) == 0)
    title += " (the language Windows was installed in)";
  if (usable && lstrcmpiA(choice.folder.c_str(), choice.language.c_str()) != 0)
    title += ", but the file in it is " + choice.language +
             (choice.name.empty() ? "" : ", " + choice.name);
  return title;
}

TTemplateForm::TTemplateForm(TApplication& application, const TTemplateChoice& current)
    : choices(AvailableTemplates()), application_(application) {
  RegisterClassOnce(kTemplateClass, nullptr);
  font_ = MakeFont("Tahoma", 8);
  OpenDialog1.filter = "Language files (*.mui)|*.mui|All files (*.*)|*.*";
  OpenDialog1.title = "Select a Language File...";
  const bool listed = std::any_of(choices.begin(), choices.end(),
                                  [&](const TTemplateChoice& c) { return c.path == current.path; });
  if (!listed) choices.push_back(current);

  int height = kMargin + kLine + 4;
  for (const TTemplateChoice& choice : choices)
    height += kLine + (choice.problem.empty() ? 0 : kReasonLine);
  const int buttons_top = height + kMargin;
  height = buttons_top + kButtonHeight + kMargin;

  RECT frame{0, 0, Scaled(kWidth), Scaled(height)};
  AdjustWindowRectEx(&frame, kTemplateStyle, FALSE, kTemplateExStyle);
  CreateHandle(kTemplateClass, "Boot Screen Template", kTemplateStyle, kTemplateExStyle,
               {0, 0, frame.right - frame.left, frame.bottom - frame.top}, application_.Handle(),
               nullptr);
  const int inner = kWidth - 2 * kMargin;
  AddControl("Build boot screen files from this template:", SS_LEFT | SS_NOPREFIX,
            ScaledBounds(kMargin, kMargin, inner, kLine), -1);
  int top = kMargin + kLine + 4;
  Tips.Create(handle_);
  const std::string install_language = platform::InstallLanguageName();
  // The radio button's round box and its gap come before the text.
  const int title_width = Scaled(inner - kRadioBoxWidth);
  std::size_t checked = 0;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    const TTemplateChoice& choice = choices[i];
    const bool usable = choice.problem.empty();
    // A file from elsewhere is named by its path too, shortened to what the line holds.
    std::string title = ChoiceTitle(choice, install_language);
    if (choice.folder.empty() && !choice.BuiltIn()) {
      const std::string lead = title.empty() ? "" : title + ", from ";
      title = lead + FitInMiddle(font_.Get(), choice.path,
                                 title_width - TextSize(font_.Get(), lead).cx);
    }
    const DWORD style = BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP : 0);
    HWND button = AddControl(title.c_str(), style, ScaledBounds(kMargin, top, inner, kLine),
                             kTemplateFirstChoiceId + static_cast<int>(i));
    EnableWindow(button, usable);
    if (choice.path == current.path && usable) checked = i;
    ChoiceButtons.push_back(button);
    top += kLine;
    std::string tip = choice.BuiltIn() ? "x86template beside the program" : choice.path;
    if (!usable) {
      // A disabled static draws its text greyed, as the button above it is.
      const std::string reason = "Cannot serve as a template: " + choice.Reason() + ".";
      HWND line = AddControl(reason.c_str(), SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS,
                             ScaledBounds(kMargin + kRadioBoxWidth, top, inner - kRadioBoxWidth,
                                          kReasonLine),
                             -1);
      EnableWindow(line, FALSE);
      Tips.Set(line, choice.detail);
      tip = choice.detail;
      top += kReasonLine;
    }
    Tips.Set(button, tip);
  }
  // Nothing else is checked (the current file cannot serve any more): the built-in one is the
  // default. Tab comes into the group at the checked button, and only there.
  SendMessageA(ChoiceButtons[checked], BM_SETCHECK, BST_CHECKED, 0);
  SetWindowLongA(ChoiceButtons[checked], GWL_STYLE,
                 GetWindowLongA(ChoiceButtons[checked], GWL_STYLE) | WS_TABSTOP);

  const int button_width = kButtonWidth + 30;
  AnotherFileButton = AddControl("&Another file...", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP,
                                ScaledBounds(kMargin, buttons_top, button_width, kButtonHeight),
                                kAnotherFileId);
  OkButton = AddControl("OK", BS_DEFPUSHBUTTON | WS_TABSTOP,
                       ScaledBounds(kWidth - kMargin - 2 * kButtonWidth - 8, buttons_top,
                                    kButtonWidth, kButtonHeight),
                       IDOK);
  CancelButton = AddControl("Cancel", BS_PUSHBUTTON | WS_TABSTOP,
                           ScaledBounds(kWidth - kMargin - kButtonWidth, buttons_top, kButtonWidth,
                                        kButtonHeight),
                           IDCANCEL);
}

TTemplateForm::~TTemplateForm() { DestroyHandle(); }

HWND TTemplateForm::AddControl(const char* text, DWORD style, const RECT& bounds, int id) {
  // The heading and the reasons (id -1) are statics; the rest are buttons.
  const bool is_static = id == -1;
  HWND control = CreateWindowExA(0, is_static ? "STATIC" : "BUTTON", text,
                                 WS_CHILD | WS_VISIBLE | style, bounds.left, bounds.top,
                                 bounds.right - bounds.left, bounds.bottom - bounds.top, handle_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 application_.Instance(), nullptr);
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
  return control;
}

void TTemplateForm::PlaceFirstTime() {
  // Centred on the main window, as the about window is.
  CentreWindow(handle_, TCentreOn::MainForm);
}

int TTemplateForm::ShowModal() { return RunModal(OkButton); }

void TTemplateForm::Accept() {
  for (std::size_t i = 0; i < ChoiceButtons.size(); ++i) {
    if (SendMessageA(ChoiceButtons[i], BM_GETCHECK, 0, 0) != BST_CHECKED) continue;
    chosen = choices[i];
    modal_result_ = IDOK;
    return;
  }
}

void TTemplateForm::AnotherFileClick() {
  if (!OpenDialog1.Execute()) return;
  TTemplateChoice choice = DescribeLanguageFile(OpenDialog1.file_name);
  if (!choice.problem.empty()) {
    application_.ShowPlainMessage("The file " + choice.path +
                                  " cannot serve as a boot screen template: " + choice.problem);
    return;
  }
  chosen = std::move(choice);
  modal_result_ = IDOK;
}

LRESULT TTemplateForm::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK: Accept(); return 0;
        case IDCANCEL: modal_result_ = IDCANCEL; return 0;
        case kAnotherFileId: AnotherFileClick(); return 0;
      }
      return 0;
    case DM_GETDEFID: return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_CLOSE: modal_result_ = IDCANCEL; return 0;
  }
  return TForm::HandleMessage(message, wparam, lparam);
}

}  // namespace marivane::ui
