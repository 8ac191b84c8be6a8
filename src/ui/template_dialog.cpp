#include "ui/template_dialog.h"

#include <algorithm>

#include "builder/language_file.h"
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
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

}  // namespace

std::string TTemplateChoice::Description() const {
  if (BuiltIn()) return "en-US, built-in template (x86template beside the program)";
  if (!problem.empty()) return path;
  return language + (name.empty() ? "" : ", " + name) + ", from " + path;
}

TTemplateChoice DescribeLanguageFile(const std::string& path) {
  TTemplateChoice choice;
  choice.path = path;
  const TDerivedTemplate derived = DeriveLanguageTemplate(path);
  if (!derived.made) {
    choice.problem = derived.problem;
    return choice;
  }
  choice.language = platform::LanguageFolderName(derived.made->language);
  if (choice.language.empty()) {
    char id[8] = {};
    wsprintfA(id, "0x%04X", derived.made->language);
    choice.language = id;
  }
  choice.name = platform::LanguageDisplayName(derived.made->language);
  return choice;
}

std::vector<TTemplateChoice> AvailableTemplates() {
  std::vector<TTemplateChoice> found{TTemplateChoice{}};
  for (const platform::TSystemLanguageFile& file : platform::SystemLanguageFiles()) {
    TTemplateChoice choice = DescribeLanguageFile(file.path);
    // A file that cannot serve is still named by the folder it lies in.
    if (choice.language.empty()) choice.language = file.language;
    found.push_back(std::move(choice));
  }
  return found;
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
  for (std::size_t i = 0; i < choices.size(); ++i) {
    const TTemplateChoice& choice = choices[i];
    const bool usable = choice.problem.empty();
    std::string title = choice.language + " - cannot serve";
    if (choice.BuiltIn())
      title = "Built-in template: en-US (x86template)";
    else if (usable)
      title = choice.language + (choice.name.empty() ? "" : " - " + choice.name);
    const DWORD style = BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0);
    HWND button = AddControl(title.c_str(), style, ScaledBounds(kMargin, top, inner, kLine),
                            kTemplateFirstChoiceId + static_cast<int>(i));
    EnableWindow(button, usable);
    if (choice.path == current.path && usable) SendMessageA(button, BM_SETCHECK, BST_CHECKED, 0);
    ChoiceButtons.push_back(button);
    top += kLine;
    if (!usable) {
      // A disabled static draws its text greyed, as the button above it is.
      HWND reason = AddControl(choice.problem.c_str(), SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS,
                              ScaledBounds(kMargin + 18, top, inner - 18, kReasonLine), -1);
      EnableWindow(reason, FALSE);
      top += kReasonLine;
    }
  }
  // Nothing checked (the current file cannot serve any more): the built-in one is the default.
  if (std::none_of(ChoiceButtons.begin(), ChoiceButtons.end(), [](HWND b) {
        return SendMessageA(b, BM_GETCHECK, 0, 0) == BST_CHECKED;
      }))
    SendMessageA(ChoiceButtons[0], BM_SETCHECK, BST_CHECKED, 0);

  const int button_width = kButtonWidth + 30;
  AnotherFileButton = AddControl("Another file...", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP,
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
  CentreOnMainForm(application_.MainForm());
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
