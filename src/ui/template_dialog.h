// The File menu's "Boot Screen Template..." dialog: the built-in x86template, each language
// file of this Windows by its folder (greyed, with the reason, when it cannot serve) and
// "Another file..." for a language file copied from elsewhere. The window keeps what is chosen
// here.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "builder/language_file.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/file_dialogs.h"

namespace marivane::ui {

// What the dialog calls the choice: its folder and the folder's language, the language
// Windows was installed in marked, and a file in another language than its folder's said so.
std::string ChoiceTitle(const TTemplateChoice& choice, const std::string& install_language);
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

  // Modal to the whole program. IDOK with `Chosen` filled, or IDCANCEL.
  int ShowModal();
  void AnotherFileClick();

  std::vector<TTemplateChoice> Choices;
  std::vector<HWND> ChoiceButtons;  // one radio button per choice, in its order
  HWND AnotherFileButton = nullptr;
  HWND OkButton = nullptr;
  HWND CancelButton = nullptr;
  TFileDialog OpenDialog1{TFileDialog::TKind::Open};
  // The full path and the whole reason over each choice and each greyed reason.
  TToolTips Tips;
  TTemplateChoice Chosen;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void PlaceFirstTime() override;

 private:
  struct TControlRow;
  // The heading and a line for each choice (with a greyed one under it for why it cannot
  // serve), from `top` on; `top` ends below the last.
  std::vector<TControlRow> ChoiceRows(int& top);
  void Accept();

  TApplication& application_;
  platform::TFontHandle font_;
};

}  // namespace marivane::ui
