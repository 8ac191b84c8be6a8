// The File menu's template dialog, and where the open dialog of "Open Boot Screen File..."
// starts, over the language files that ui_system_template_test.py
// planted in this Wine prefix's System32; the script judges what these print and write. Run
// without it (MARIVANE_UI_PLANTED unset), they have nothing to look at and are skipped.
#include "ui_test_support.h"

#include <commdlg.h>

#include <cstdlib>

#include "resources/resource.h"

namespace marivane::test {
namespace {

namespace fs = std::filesystem;

class TemplateChoice : public Windows {
 protected:
  void SetUp() override {
    if (std::getenv("MARIVANE_UI_PLANTED") == nullptr) GTEST_SKIP() << "no planted language files";
    Windows::SetUp();
  }
};

// What the dialog lists: each radio button and each greyed reason under one, in order, each
// with what its tooltip says.
void ReportChoices(HWND dialog) {
  HWND tips = ToolTipsOf(dialog);
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    char window_class[16] = {};
    GetClassNameA(child, window_class, sizeof(window_class));
    const LONG kind = GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK;
    const bool enabled = IsWindowEnabled(child) != FALSE;
    if (lstrcmpiA(window_class, "Button") == 0 && kind == BS_AUTORADIOBUTTON)
      Report(enabled ? "choice" : "greyed-choice", WindowText(child));
    else if (lstrcmpiA(window_class, "Static") == 0 && !enabled)
      Report("reason", WindowText(child));
    else
      continue;
    Report("tip", ToolTipText(tips, child));
  }
}

// Where Tab goes from the first tab stop on, once round.
void ReportTabOrder(HWND dialog) {
  std::string order;
  HWND at = GetNextDlgTabItem(dialog, nullptr, FALSE);
  for (int i = 0; i < 5 && at != nullptr; ++i, at = GetNextDlgTabItem(dialog, at, FALSE))
    order += (i == 0 ? "" : " | ") + WindowText(at);
  Report("tab", order);
}

TEST_F(TemplateChoice, ListsThePlantedFilesAndSavesWithTheChosenOne) {
  const std::string folder = std::getenv("MARIVANE_UI_SAVE_DIR");
  form_->LoadDroppedFile(TSlot::Small, folder + "\\small.bmp");
  form_->LoadDroppedFile(TSlot::Big, folder + "\\big.bmp");
  ShowMain();
  Report("label", WindowText(form_->TemplateLabel));
  TDialogDriver choose;
  choose.Then([](HWND dialog) {
    ReportChoices(dialog);
    ReportTabOrder(dialog);
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
      if (WindowText(child).rfind("de-DE", 0) == 0) SendMessageA(child, BM_CLICK, 0, 0);
    Press(IDOK)(dialog);
  });
  Command(IDM_BOOTSCREENTEMPLATE);
  ASSERT_EQ(choose.seen.size(), 1u);
  EXPECT_EQ(choose.seen[0].caption, "Boot Screen Template");
  Report("label", WindowText(form_->TemplateLabel));
  Report("label-tip", ToolTipText(form_->Tips.Handle(), form_->TemplateLabel));
  // Opened again, Tab comes into the options at the chosen one.
  choose.Then([](HWND dialog) {
    ReportTabOrder(dialog);
    Press(IDCANCEL)(dialog);
  });
  Command(IDM_BOOTSCREENTEMPLATE);

  TDialogDriver save;
  save.Then(EnterFileName(folder + "\\boot-screen")).Then(Press(IDOK));
  Command(IDM_SAVEBOOTSCREENFILEAS);
  ASSERT_EQ(save.seen.size(), 2u);
  Report("saved-caption", save.seen[1].caption);
  Report("saved", save.seen[1].text);
}

TEST_F(TemplateChoice, IsTheOneTheLastRunChose) {
  ShowMain();
  Report("label", WindowText(form_->TemplateLabel));
  Report("label-tip", ToolTipText(form_->Tips.Handle(), form_->TemplateLabel));
  Report("template", form_->TemplateLanguageFile);
}

// The open dialog of "Open Boot Screen File..." starts where the boot loader reads its file.
TEST_F(TemplateChoice, OpenBootScreenStartsInTheInstallLanguagesFolder) {
  ShowMain();
  TDialogDriver open;
  open.Then([](HWND dialog) {
    char folder[MAX_PATH] = {};
    SendMessageA(dialog, CDM_GETFOLDERPATH, sizeof(folder), reinterpret_cast<LPARAM>(folder));
    Report("open-folder", folder);
    Cancel()(dialog);
  });
  Command(IDM_OPENBOOTSCREENFILE);
  EXPECT_EQ(open.seen.size(), 1u);
}

}  // namespace
}  // namespace marivane::test
