// The main window: the two picture slots side by side, each with its preview and browse
// button, each taking a bitmap file dropped on its frame, and the menu with the save command.
#pragma once

#include <windows.h>

#include <functional>
#include <cstdint>
#include <string>
#include <vector>

#include "builder/boot_screen_builder.h"
#include "builder/default_template.h"
#include "builder/user_interface.h"
#include "ui/controls.h"
#include "ui/file_dialogs.h"
#include "ui/application.h"
#include "ui/template_dialog.h"
#include "ui/window_texts.h"

namespace marivane::ui {

// Control ids of the main window. Menu items take theirs from resources/resource.h.
inline constexpr int kButton1Id = 201;
inline constexpr int kButton2Id = 202;
inline constexpr int kApplyButtonId = 203;

// A menu item, found by its place in its menu.
struct TMenuItem {
  HMENU parent = nullptr;
  UINT position = 0;
  UINT command = 0;  // 0 for a submenu or a separator
};

// How a run of marivane-cli.exe with administrator rights went.
struct TElevatedRun {
  bool ended = false;      // it ran to its end; `exit_code` is its exit status
  DWORD error = 0;         // not started: the system's code (ERROR_CANCELLED: the UAC prompt)
  DWORD exit_code = 0;
  bool abandoned = false;  // the program is ending: nobody waits any more
};

// What marivane-cli.exe said in its result file: "done", "refused" or "failed" and its message
// for the user; no outcome where there was nothing to show or it has been shown already.
struct TCommandReport {
  std::string outcome;
  std::string message;
};

// Nothing to do at run time: the manifest among the resources asks for the themed controls.
struct TXPManifest {};

class TForm1 final : public TForm, public TUserInterface, public TBootScreenBuilder {
 public:
  explicit TForm1(TApplication& application);
  ~TForm1() override;

  // --- Event handlers ---
  void FormCreate();
  void FormShow() override;
  void Button1Click();
  void Button2Click();
  // Any picture, framed, scaled and written as a bitmap beside it, then browsed into the slot
  // (import_picture.cpp).
  void Import800x600PictureClick();
  void Import1024x768PictureClick();
  // The import of `source` into the slot, from its framing on; the busy cursor while it is
  // decoded. A file that cannot be decoded raises with a text that names it.
  void ImportPictureFile(TSlot slot, const std::string& source);
  void ApplyButtonClick();
  // The File menu's "Open Boot Screen File...": the open dialog, then OpenBootScreen.
  void OpenBootScreenFileClick();
  // Inspects the boot screen file at `path` and shows its verdict; a good one's pictures go
  // into the slots as browsed files, from a folder of this run's own under TEMP, so that a
  // save builds the file anew with the template chosen. Anything else leaves the slots as they
  // were. A file that cannot be read raises with the loader's text.
  void OpenBootScreen(const std::string& path);
  // The File menu's "Preview at Boot...": the slot picture the boot loader would show on this
  // screen, full screen on black, until a key or a click.
  void PreviewAtBootClick();
  // SaveBootScreenFileAsClick, the save command, is the builder's own.
  void Exit1Click();
  void About1Click();
  // The File menu's "Boot Screen Template...": the template dialog, then the choice kept for
  // this run and the next.
  void BootScreenTemplateClick();
  // The File menu's "Install Boot Screen...": the open dialog, the file just saved filled in,
  // then InstallBootScreen (install_boot_screen.cpp).
  void InstallBootScreenClick();
  // Has marivane-cli.exe install the file at `path` with administrator rights and shows what
  // it said; where it could not tell whether the file may go in, asks, and on a yes has it
  // install the file all the same.
  void InstallBootScreen(const std::string& path);
  // The File menu's "Restore Original Boot Screen": marivane-cli.exe restore, the same way.
  void RestoreOriginalBootScreenClick();

  // --- The group boxes' procedures in front of their own ---
  void SmallBoxWndProc(TMessage& message);
  void BigBoxWndProc(TMessage& message);
  void DropSmallImage(TMessage& message);
  void DropBigImage(TMessage& message);

  // --- How the builder speaks to the user ---
  void ShowMessage(const std::string& text) override;
  void ShowMessageBox(const std::string& text, const std::string& caption,
                      TMessageIcon icon) override;
  bool ChooseSavePath(std::string& path) override;
  void SetBusy(bool busy) override;

  // --- Components ---
  HMENU MainMenu1 = nullptr;
  TMenuItem File1, SaveBootScreenFileAs, N2, Select800x600Image, Select1024x768Image, N1, Exit1;
  TMenuItem Import800x600Picture, Import1024x768Picture;
  TMenuItem BootScreenTemplate;
  TMenuItem OpenBootScreenFile, PreviewAtBoot;
  TMenuItem N3, InstallBootScreenItem, RestoreOriginalBootScreen;
  TMenuItem Help1, About1;
  TGroupBox GroupBox1;
  HWND Label1 = nullptr;
  // The box that shows the slot's picture, the builder's SmallPicture.
  TImage ImageSmall;
  HWND Button1 = nullptr;
  TGroupBox GroupBox2;
  HWND Label2 = nullptr;
  TImage ImageBig;
  HWND Button2 = nullptr;
  HWND ApplyButton = nullptr;
  // Which template a save uses, in the strip under the group boxes.
  HWND TemplateLabel = nullptr;
  // The file each slot holds, under its browse button; the whole path shows over the slot.
  HWND SmallFileName = nullptr;
  HWND BigFileName = nullptr;
  // Over the template strip and each slot: what their one line cannot hold.
  TToolTips Tips;
  TXPManifest XPManifest1;
  TFileDialog OpenDialog1{TFileDialog::TKind::Open};
  TFileDialog SaveDialog1{TFileDialog::TKind::Save};
  TFileDialog ImportDialog{TFileDialog::TKind::Open};
  TFileDialog SavePreparedDialog{TFileDialog::TKind::Save};
  TFileDialog OpenBootScreenDialog{TFileDialog::TKind::Open};
  TFileDialog InstallDialog{TFileDialog::TKind::Open};

  TWindowProc OldSmallBoxWndProc;
  TWindowProc OldBigBoxWndProc;

  // The template a save uses from now on, and what the window says of it.
  void UseTemplate(const TTemplateChoice& choice);
  // This Windows' own template, found anew, unless the user has chosen one.
  void UseDefaultTemplate();

  // The 64-bit host test that the first showing runs; tests put their own answer here.
  std::function<bool()> host_is_wow64;
  // marivane-cli.exe, which installs and restores with administrator rights: beside the
  // program. Tests name the one they built.
  std::string CommandLineToolPath;
  // Empty: marivane-cli.exe is started through the UAC prompt. Tests answer for the prompt.
  std::function<TElevatedRun(const std::string& program, const std::vector<std::string>& arguments)>
      run_elevated;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void PlaceFirstTime() override;
  void PictureChanged(TSlot slot) override;

 private:
  void CreateComponents();
  void CreateSlot(TGroupBox& box, const char* caption, int left, HWND& label, TImage& view,
                  const TPicture& picture, HWND& button, int button_id, HWND& file_name);
  void DropImage(TSlot slot, TMessage& message);
  // A file browsed for or dropped on a slot: a photo is offered for import; anything else is
  // loaded as the slot loads files.
  enum class TArrival { Browsed, Dropped };
  void TakeFile(TSlot slot, const std::string& path, TArrival arrival);
  // Asks whether to import the photo at `path` for the slot, and does.
  void OfferImport(TSlot slot, const std::string& path);
  void ImportPicture(TSlot slot);
  // Writes the prepared bitmap to `path`. An existing file is replaced only when the user
  // agrees; otherwise, and where the folder cannot be written, the save dialog asks where,
  // with a free name proposed. False when the user cancels that.
  bool WritePreparedPicture(std::string& path, const std::vector<std::uint8_t>& bitmap);
  bool SavePreparedPictureAs(std::string& path, const std::vector<std::uint8_t>& bitmap,
                             const std::string& title);
  // The slot's file under its button and over the slot, and a line on where it came from.
  void ShowSlotFile(TSlot slot, const std::string& origin);
  // A new folder under the run's own for the pictures of one opened file, or for what one
  // run of marivane-cli.exe reports; empty after saying why there is none.
  std::string NewRunFolder(const std::string& name);
  // Runs marivane-cli.exe with `arguments` and administrator rights and returns its report;
  // where there is none (not started, cancelled, nothing readable left) says so under
  // `caption` itself.
  TCommandReport RunElevatedCommand(std::vector<std::string> arguments, const std::string& caption);
  // The report's message, an error unless the command did what was asked.
  void ShowReport(const TCommandReport& report, const std::string& caption);
  void Close();
  LRESULT OnCommand(UINT id);
  LRESULT OnActivate(WPARAM state);

  TApplication& application_;
  platform::TFontHandle font_;
  HWND focused_ = nullptr;
  HCURSOR cursor_before_busy_ = nullptr;
  TTemplateChoice template_;
  // A choice made in the template dialog, this run or an earlier one: it wins over the
  // default.
  bool template_chosen_ = false;
  TDefaultTemplate default_template_;
  // The file the last save wrote, which Install offers; empty before one.
  std::string saved_file_;
  // Under TEMP, made when first needed and removed when the window goes: the pictures of
  // opened files, the reports of marivane-cli.exe.
  std::string run_folder_;
  int run_folders_made_ = 0;
};

extern TForm1* Form1;

}  // namespace marivane::ui
