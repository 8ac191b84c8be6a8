// The File menu's "Boot Screen Template..." dialog: the built-in x86template, each language
// file of this Windows (greyed, with the reason, when it cannot serve) and "Another file..."
// for a language file copied from elsewhere. The window keeps what is chosen here.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/application.h"
#include "ui/file_dialogs.h"

namespace marivane::ui {

// One template the user may build from.
struct TTemplateChoice {
  std::string path;      // the language file; empty for the built-in x86template
  std::string language;  // its folder name, "de-DE"; empty when it cannot serve
  std::string name;      // the language's name as the user reads it, "German (Germany)"
  std::string problem;   // why it cannot serve; empty when it can

  bool BuiltIn() const { return path.empty(); }
  // What the window and the dialog say of it: "de-DE, German (Germany), from C:\...".
  std::string Description() const;
};

// Reads the language file and says whether and in which language it serves.
TTemplateChoice DescribeLanguageFile(const std::string& path);
// The built-in template, then the system's language files in the order the system lists them.
std::vector<TTemplateChoice> AvailableTemplates();

inline constexpr int kTemplateFirstChoiceId = 400;
inline constexpr int kAnotherFileId = 398;

class TTemplateForm final : public TForm {
 public:
  // `current` is checked when the dialog opens; a file of its own is listed after the
  // system's.
  TTemplateForm(TApplication& application, const TTemplateChoice& current);
  ~TTemplateForm() override;

  // Modal to the whole program. IDOK with `chosen` filled, or IDCANCEL.
  int ShowModal();
  void AnotherFileClick();

  std::vector<TTemplateChoice> choices;
  std::vector<HWND> ChoiceButtons;  // one radio button per choice, in its order
  HWND AnotherFileButton = nullptr;
  HWND OkButton = nullptr;
  HWND CancelButton = nullptr;
  TFileDialog OpenDialog1{TFileDialog::TKind::Open};
  TTemplateChoice chosen;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void PlaceFirstTime() override;

 private:
  HWND AddControl(const char* text, DWORD style, const RECT& bounds, int id);
  void Accept();

  TApplication& application_;
  platform::TFontHandle font_;
};

}  // namespace marivane::ui
