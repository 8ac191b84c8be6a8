#include "ui/template_dialog.h"

#include <algorithm>

#include "platform/system_languages.h"
#include "ui/window_texts.h"

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
  if (choice.BuiltIn()) return kBuiltInChoiceTitle;
  const bool usable = choice.problem.empty();
  if (choice.folder.empty())
    return usable ? choice.language + (choice.name.empty() ? "" : " - " + choice.name) : "";
  const std::string folder_name = platform::FolderLanguageDisplayName(choice.folder);
  std::string title = choice.folder + (folder_name.empty() ? "" : " - " + folder_name);
  if (lstrcmpiA(choice.folder.c_str(), install_language.c_str()) == 0)
    title += kInstallLanguageMark;
  if (usable && lstrcmpiA(choice.folder.c_str(), choice.language.c_str()) != 0)
    title += kOtherLanguageMark + choice.language +
             (choice.name.empty() ? "" : ", " + choice.name);
  return title;
}

// One control of the dialog as it is made, in the order Tab walks them; its place at 96 dpi.
struct TTemplateForm::TControlRow {
  const char* window_class = nullptr;
  std::string text = {};
  DWORD style = 0;
  int left = 0, top = 0, width = 0, height = 0;
  int id = kNoCommandId;
  HWND* made = nullptr;  // where the dialog keeps it, if anywhere
  bool enabled = true;
  std::string tip = {};  // none when empty
};

TTemplateForm::TTemplateForm(TApplication& application, const TTemplateChoice& current)
    : Choices(AvailableTemplates()), application_(application) {
  RegisterClassOnce(kTemplateClass, nullptr);
  font_ = MakeFont("Tahoma", 8);
  OpenDialog1.filter = kLanguageFileFilter;
  OpenDialog1.title = kLanguageFileTitle;
  const bool listed = std::any_of(Choices.begin(), Choices.end(),
                                  [&](const TTemplateChoice& c) { return c.path == current.path; });
  if (!listed) Choices.push_back(current);

  int top = kMargin + kLine + 4;
  std::vector<TControlRow> rows = ChoiceRows(top);
  const int buttons_top = top + kMargin;
  const int height = buttons_top + kButtonHeight + kMargin;
  rows.push_back({.window_class = "BUTTON", .text = "&Another file...",
                  .style = BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, .left = kMargin,
                  .top = buttons_top, .width = kButtonWidth + 30, .height = kButtonHeight,
                  .id = kAnotherFileId, .made = &AnotherFileButton});
  rows.push_back({.window_class = "BUTTON", .text = "OK", .style = BS_DEFPUSHBUTTON | WS_TABSTOP,
                  .left = kWidth - kMargin - 2 * kButtonWidth - 8, .top = buttons_top,
                  .width = kButtonWidth, .height = kButtonHeight, .id = IDOK, .made = &OkButton});
  rows.push_back({.window_class = "BUTTON", .text = "Cancel", .style = BS_PUSHBUTTON | WS_TABSTOP,
                  .left = kWidth - kMargin - kButtonWidth, .top = buttons_top,
                  .width = kButtonWidth, .height = kButtonHeight, .id = IDCANCEL,
                  .made = &CancelButton});

  RECT frame{0, 0, Scaled(kWidth), Scaled(height)};
  AdjustWindowRectEx(&frame, kTemplateStyle, FALSE, kTemplateExStyle);
  CreateHandle(kTemplateClass, kTemplateCaption, kTemplateStyle, kTemplateExStyle,
               {0, 0, frame.right - frame.left, frame.bottom - frame.top}, application_.Handle(),
               nullptr);
  Tips.Create(handle_);
  for (const TControlRow& row : rows) {
    HWND control =
        CreateControl(handle_, row.window_class, row.text.c_str(), WS_VISIBLE | row.style,
                      ScaledBounds(row.left, row.top, row.width, row.height), row.id, font_.Get());
    // A disabled static draws its text greyed, as the radio button above it is.
    if (!row.enabled) EnableWindow(control, FALSE);
    if (!row.tip.empty()) Tips.Set(control, row.tip);
    if (row.made != nullptr) *row.made = control;
  }

  // Nothing else is checked (the current file cannot serve any more): the built-in one is the
  // default. Tab comes into the group at the checked button, and only there.
  std::size_t checked = 0;
  for (std::size_t i = 0; i < Choices.size(); ++i)
    if (Choices[i].path == current.path && Choices[i].problem.empty()) checked = i;
  SendMessageA(ChoiceButtons[checked], BM_SETCHECK, BST_CHECKED, 0);
  SetWindowLongA(ChoiceButtons[checked], GWL_STYLE,
                 GetWindowLongA(ChoiceButtons[checked], GWL_STYLE) | WS_TABSTOP);
}

std::vector<TTemplateForm::TControlRow> TTemplateForm::ChoiceRows(int& top) {
  const int inner = kWidth - 2 * kMargin;
  std::vector<TControlRow> rows{{.window_class = "STATIC",
                                 .text = "Build boot screen files from this template:",
                                 .style = SS_LEFT | SS_NOPREFIX, .left = kMargin, .top = kMargin,
                                 .width = inner, .height = kLine}};
  const std::string install_language = platform::InstallLanguageName();
  // The radio button's round box and its gap come before the text.
  const int title_width = Scaled(inner - kRadioBoxWidth);
  ChoiceButtons.assign(Choices.size(), nullptr);
  for (std::size_t i = 0; i < Choices.size(); ++i) {
    const TTemplateChoice& choice = Choices[i];
    const bool usable = choice.problem.empty();
    // A file from elsewhere is named by its path too, shortened to what the line holds.
    std::string title = ChoiceTitle(choice, install_language);
    if (choice.folder.empty() && !choice.BuiltIn()) {
      const std::string lead = title.empty() ? "" : title + ", from ";
      title = lead + FitInMiddle(font_.Get(), choice.path,
                                 title_width - TextSize(font_.Get(), lead).cx);
    }
    rows.push_back({.window_class = "BUTTON", .text = title,
                    .style = static_cast<DWORD>(BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP : 0)),
                    .left = kMargin, .top = top, .width = inner, .height = kLine,
                    .id = kTemplateFirstChoiceId + static_cast<int>(i), .made = &ChoiceButtons[i],
                    .enabled = usable,
                    .tip = choice.BuiltIn() ? kBuiltInChoiceTip
                           : usable         ? choice.path
                                            : choice.detail});
    top += kLine;
    if (usable) continue;
    rows.push_back({.window_class = "STATIC",
                    .text = kCannotServeStart + choice.Reason() + kCannotServeEnd,
                    .style = SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS,
                    .left = kMargin + kRadioBoxWidth, .top = top, .width = inner - kRadioBoxWidth,
                    .height = kReasonLine, .enabled = false, .tip = choice.detail});
    top += kReasonLine;
  }
  return rows;
}

TTemplateForm::~TTemplateForm() { DestroyHandle(); }

void TTemplateForm::PlaceFirstTime() {
  // Centred on the main window, as the about window is.
  CentreWindow(handle_, TCentreOn::MainForm);
}

int TTemplateForm::ShowModal() { return RunModal(OkButton); }

void TTemplateForm::Accept() {
  for (std::size_t i = 0; i < ChoiceButtons.size(); ++i) {
    if (SendMessageA(ChoiceButtons[i], BM_GETCHECK, 0, 0) != BST_CHECKED) continue;
    Chosen = Choices[i];
    modal_result_ = IDOK;
    return;
  }
}

void TTemplateForm::AnotherFileClick() {
  if (!OpenDialog1.Execute()) return;
  TTemplateChoice choice = DescribeLanguageFile(OpenDialog1.file_name);
  if (!choice.problem.empty()) {
    application_.ShowPlainMessage(kNotATemplateMessageStart + choice.path +
                                  kNotATemplateMessageMiddle + choice.problem);
    return;
  }
  Chosen = std::move(choice);
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
