#include "ui/unit1.h"

#include <shellapi.h>

#include <algorithm>

#include "platform/shell_utils.h"
#include "platform/system_languages.h"
#include "resources/resource.h"
#include "ui/unit3.h"

namespace marivane::ui {

TForm1* Form1 = nullptr;

namespace {

constexpr char kFormClass[] = "TForm1";
constexpr int kClientWidth = 512;
constexpr int kClientHeight = 257;
constexpr DWORD kFormStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
// The drop handler's buffer: the longest path plus its terminating zero.
constexpr UINT kDroppedNameCapacity = 261;
// The language file chosen in the template dialog, under HKCU\Software\Marivane; empty for
// the built-in template, absent while the user has chosen none.
constexpr char kTemplateSetting[] = "BootScreenTemplate";
constexpr const char* kBrowseCaption = "Browse for image...";
// A push button's frame and margins around its text, at 96 dpi.
constexpr int kButtonPadding = 12;

}  // namespace

TForm1::TForm1(TApplication& application)
    : TBootScreenBuilder(static_cast<TUserInterface&>(*this)), application_(application) {
  Form1 = this;
  host_is_wow64 = [] { return platform::IsWow64(); };
  CommandLineToolPath = platform::ProgramFolder() + "marivane-cli.exe";
  // Pictures that are not a slot's bitmap are offered for import when chosen.
  OpenDialog1.filter =
      "Bitmap files (*.bmp)|*.bmp|"
      "All pictures (*.bmp;*.jpg;*.jpeg;*.png;*.gif;*.tif;*.tiff)|"
      "*.bmp;*.jpg;*.jpeg;*.png;*.gif;*.tif;*.tiff";
  OpenDialog1.title = "Select a Bitmap Image...";
  SaveDialog1.filter = "MUI Files (*.mui)|*.mui";
  SaveDialog1.file_name = "winload.exe.mui";
  SaveDialog1.options |= OFN_OVERWRITEPROMPT;
  CreateComponents();
  FormCreate();
}

TForm1::~TForm1() {
  // The children go while the group boxes' objects still live.
  DestroyHandle();
  if (Form1 == this) Form1 = nullptr;
  // The pictures taken out of opened files and the command's reports served this run only.
  if (!run_folder_.empty()) platform::ShellDeleteFolder(run_folder_);
}

void TForm1::CreateComponents() {
  RegisterClassOnce(kFormClass, application_.Icon());
  font_ = MakeFont("MS Sans Serif", 8);
  MainMenu1 = LoadMenuA(application_.Instance(), MAKEINTRESOURCEA(IDM_MAINMENU1));
  HMENU file = GetSubMenu(MainMenu1, 0);
  HMENU help = GetSubMenu(MainMenu1, 1);
  File1 = {MainMenu1, 0, 0};
  OpenBootScreenFile = {file, 0, IDM_OPENBOOTSCREENFILE};
  SaveBootScreenFileAs = {file, 1, IDM_SAVEBOOTSCREENFILEAS};
  N2 = {file, 2, 0};
  Select800x600Image = {file, 3, IDM_SELECT800X600IMAGE};
  Select1024x768Image = {file, 4, IDM_SELECT1024X768IMAGE};
  Import800x600Picture = {file, 5, IDM_IMPORT800X600PICTURE};
  Import1024x768Picture = {file, 6, IDM_IMPORT1024X768PICTURE};
  PreviewAtBoot = {file, 7, IDM_PREVIEWATBOOT};
  BootScreenTemplate = {file, 8, IDM_BOOTSCREENTEMPLATE};
  N3 = {file, 9, 0};
  InstallBootScreenItem = {file, 10, IDM_INSTALLBOOTSCREEN};
  RestoreOriginalBootScreen = {file, 11, IDM_RESTOREORIGINALBOOTSCREEN};
  N1 = {file, 12, 0};
  Exit1 = {file, 13, IDM_EXIT1};
  Help1 = {MainMenu1, 1, 0};
  About1 = {help, 0, IDM_ABOUT1};

  RECT frame{0, 0, Scaled(kClientWidth), Scaled(kClientHeight)};
  AdjustWindowRectEx(&frame, kFormStyle, TRUE, 0);
  CreateHandle(kFormClass, "Marivane", kFormStyle, 0,
               {0, 0, frame.right - frame.left, frame.bottom - frame.top},
               application_.Handle(), MainMenu1);
  SendMessageA(handle_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(application_.SmallIcon()));
  Tips.Create(handle_);

  // Created in focus order: Button1, Button2, then the hidden ApplyButton.
  CreateSlot(GroupBox1, "800 x 600 (24-bit)", 16, Label1, ImageSmall, SmallPicture, Button1,
             kButton1Id, SmallFileName);
  CreateSlot(GroupBox2, "1024 x 768 (24-bit)", 264, Label2, ImageBig, BigPicture, Button2,
             kButton2Id, BigFileName);
  ApplyButton = CreateControl(handle_, "BUTTON", "Apply", WS_TABSTOP | BS_PUSHBUTTON,
                              ScaledBounds(16, 248, 481, 41), kApplyButtonId, font_.Get());
  // The 16 pixels between the group boxes and the window's foot hold one line; no tab stop,
  // so the focus order stays the buttons'. No path ellipsis: Wine then draws no text at all.
  TemplateLabel = CreateControl(handle_, "STATIC", "",
                                WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX,
                                ScaledBounds(16, 242, 481, 14), kNoCommandId, font_.Get());
  // A value kept by an earlier run is the user's choice, an empty one the built-in template;
  // without one, this Windows' own language file.
  const std::optional<std::string> remembered = platform::ReadUserSetting(kTemplateSetting);
  template_chosen_ = remembered.has_value();
  if (template_chosen_) {
    // Whether the built-in template suits this Windows is said all the same.
    default_template_ = FindDefaultTemplate();
    UseTemplate(remembered->empty() ? TTemplateChoice{} : DescribeLanguageFile(*remembered));
  } else {
    UseDefaultTemplate();
  }
}

void TForm1::UseDefaultTemplate() {
  if (template_chosen_) return;
  default_template_ = FindDefaultTemplate();
  UseTemplate(default_template_.path.empty() ? TTemplateChoice{}
                                             : DescribeLanguageFile(default_template_.path));
}

void TForm1::UseTemplate(const TTemplateChoice& choice) {
  template_ = choice;
  TemplateLanguageFile = choice.path;
  // One line: the path gives up its middle, never the reason a file cannot serve.
  std::string lead = kTemplateLineLead;
  std::string tail;
  std::string tip = choice.Description();
  if (choice.BuiltIn() && default_template_.unsuited) {
    // Made from scratch, it carries none of this boot loader's checksums.
    lead += kUnsuitedBuiltInLine;
    tip = choice.Description() + kUnsuitedBuiltInTip +
          (default_template_.why_built_in.empty()
               ? ""
               : kUnsuitedBuiltInWhy + default_template_.why_built_in) +
          kUnsuitedBuiltInAdvice;
  } else if (choice.BuiltIn()) {
    lead += choice.Description();
    tip.clear();
  } else if (choice.problem.empty()) {
    lead += choice.DescriptionLead();
  } else {
    tail = kTemplateLineCannotServeStart + choice.Reason() + kTemplateLineCannotServeEnd;
    tip = choice.detail;
  }
  RECT strip{};
  GetClientRect(TemplateLabel, &strip);
  const int room = strip.right - TextSize(font_.Get(), lead).cx - TextSize(font_.Get(), tail).cx;
  const std::string path = choice.BuiltIn() ? "" : FitInMiddle(font_.Get(), choice.path, room);
  SetWindowTextA(TemplateLabel, (lead + path + tail).c_str());
  Tips.Set(TemplateLabel, tip);
}

void TForm1::CreateSlot(TGroupBox& box, const char* caption, int left, HWND& label,
                        TImage& view, const TPicture& picture, HWND& button, int button_id,
                        HWND& file_name) {
  box.Create(handle_, caption, ScaledBounds(left, 16, 233, 225), font_.Get());
  // The label grows to its text, as the font on this system may be wider than it was meant.
  constexpr const char* kNoImage = "No image loaded";
  RECT label_bounds = ScaledBounds(76, 94, 80, 13);
  const SIZE text = TextSize(font_.Get(), kNoImage);
  label_bounds.right = std::max<LONG>(label_bounds.right, label_bounds.left + text.cx);
  label_bounds.bottom = std::max<LONG>(label_bounds.bottom, label_bounds.top + text.cy);
  label = CreateControl(box.Handle(), "STATIC", kNoImage,
                        WS_VISIBLE | WS_CLIPSIBLINGS | SS_LEFT | SS_NOPREFIX, label_bounds,
                        kNoCommandId, font_.Get());
  view.Create(box.Handle(), ScaledBounds(16, 24, 200, 150), picture);
  // The label lies under the picture box, in sight only while the slot has nothing to show.
  SetWindowPos(label, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  // The button keeps its size where its text fits, as in Vista's MS Sans Serif 8 (about 90
  // of its 107 pixels); a wider stand-in font (Wine's DejaVu Sans: 113) widens it about its
  // centre rather than cut the text.
  RECT button_bounds = ScaledBounds(64, 184, 107, 25);
  const int needed = TextSize(font_.Get(), kBrowseCaption).cx + Scaled(kButtonPadding);
  const int grow = std::max<int>(0, needed - (button_bounds.right - button_bounds.left));
  button_bounds.left -= grow / 2;
  button_bounds.right += grow - grow / 2;
  button = CreateControl(box.Handle(), "BUTTON", kBrowseCaption,
                         WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, button_bounds, button_id,
                         font_.Get());
  // The one line between the button and the frame's foot.
  file_name = CreateControl(box.Handle(), "STATIC", "", WS_VISIBLE | SS_CENTER | SS_NOPREFIX,
                            ScaledBounds(8, 210, 217, 13), kNoCommandId, font_.Get());
}

void TForm1::ShowSlotFile(TSlot slot, const std::string& origin) {
  const bool small = slot == TSlot::Small;
  const std::string& path = small ? SmallImagePath : BigImagePath;
  HWND line = small ? SmallFileName : BigFileName;
  RECT room{};
  GetClientRect(line, &room);
  const std::string name = path.substr(path.find_last_of("\\/:") + 1);  // npos + 1 == 0
  SetWindowTextA(line, FitInMiddle(font_.Get(), name, room.right).c_str());
  Tips.Set((small ? GroupBox1 : GroupBox2).Handle(),
           origin.empty() ? path : path + "\n" + origin);
}

void TForm1::PlaceFirstTime() { CentreWindow(handle_, TCentreOn::Screen); }

// --- Event handlers ---

void TForm1::FormCreate() {
  OldSmallBoxWndProc = GroupBox1.window_proc;
  GroupBox1.window_proc = [this](TMessage& message) { SmallBoxWndProc(message); };
  OldBigBoxWndProc = GroupBox2.window_proc;
  GroupBox2.window_proc = [this](TMessage& message) { BigBoxWndProc(message); };
  // Only the two frames take dropped files; the window and its other controls do not.
  DragAcceptFiles(GroupBox1.Handle(), TRUE);
  DragAcceptFiles(GroupBox2.Handle(), TRUE);
}

void TForm1::FormShow() {
  if (host_is_wow64()) {
    ShowMessageBox(kX64Message, kX64Caption, TMessageIcon::Error);
    Close();
  }
}

void TForm1::Button1Click() {
  if (OpenDialog1.Execute()) TakeFile(TSlot::Small, OpenDialog1.file_name, TArrival::Browsed);
}

void TForm1::Button2Click() {
  if (OpenDialog1.Execute()) TakeFile(TSlot::Big, OpenDialog1.file_name, TArrival::Browsed);
}

void TForm1::ApplyButtonClick() { GenerateBootScreen(); }

void TForm1::Exit1Click() { Close(); }

void TForm1::About1Click() { AboutForm->ShowModal(); }

void TForm1::BootScreenTemplateClick() {
  TTemplateForm dialog(application_, template_);
  if (dialog.ShowModal() != IDOK) return;
  template_chosen_ = true;
  UseTemplate(dialog.Chosen);
  // A registry that refuses costs only the next run's memory of it; this run has the choice.
  platform::WriteUserSetting(kTemplateSetting, template_.path);
}

void TForm1::Close() { SendMessageA(handle_, WM_CLOSE, 0, 0); }

// --- Drops ---

void TForm1::SmallBoxWndProc(TMessage& message) {
  if (message.msg == WM_DROPFILES) {
    DropSmallImage(message);
    return;
  }
  OldSmallBoxWndProc(message);
}

void TForm1::BigBoxWndProc(TMessage& message) {
  if (message.msg == WM_DROPFILES) {
    DropBigImage(message);
    return;
  }
  OldBigBoxWndProc(message);
}

void TForm1::DropSmallImage(TMessage& message) { DropImage(TSlot::Small, message); }

void TForm1::DropBigImage(TMessage& message) { DropImage(TSlot::Big, message); }

void TForm1::DropImage(TSlot slot, TMessage& message) {
  // The shell's list is released on every way out, a loading error included.
  platform::TDropHandle drop(reinterpret_cast<HDROP>(message.wparam));
  message.result = 0;
  const int count = static_cast<int>(DragQueryFileA(drop.Get(), 0xFFFFFFFF, nullptr, 0));
  if (count >= 2) {
    ShowMessage(kOneFileMessage);
    return;
  }
  char name[kDroppedNameCapacity] = {};
  DragQueryFileA(drop.Get(), 0, name, kDroppedNameCapacity);
  TakeFile(slot, name, TArrival::Dropped);
}

void TForm1::PictureChanged(TSlot slot) {
  const bool small = slot == TSlot::Small;
  const TPicture& picture = small ? SmallPicture : BigPicture;
  ShowWindow(small ? Label1 : Label2, picture.image() ? SW_HIDE : SW_SHOWNA);
  (small ? ImageSmall : ImageBig).Invalidate();
  ShowSlotFile(slot, "");
}

// --- The user interface of the builder ---

void TForm1::ShowMessage(const std::string& text) { application_.ShowPlainMessage(text); }

void TForm1::ShowMessageBox(const std::string& text, const std::string& caption,
                            TMessageIcon icon) {
  application_.ShowMessageBox(text, caption, static_cast<UINT>(icon));
}

bool TForm1::ChooseSavePath(std::string& path) {
  if (!SaveDialog1.Execute()) return false;
  path = SaveDialog1.file_name;
  return true;
}

void TForm1::SetBusy(bool busy) {
  if (busy) {
    cursor_before_busy_ = application_.ScreenCursor();
    application_.SetScreenCursor(LoadCursorA(nullptr, IDC_WAIT));
  } else {
    application_.SetScreenCursor(cursor_before_busy_);
  }
}

// --- Messages ---

LRESULT TForm1::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: return OnCommand(LOWORD(wparam));
    case WM_ACTIVATE: return OnActivate(wparam);
    // Closing asks nothing: the loop ends and the exit procedures take the windows down.
    case WM_CLOSE: application_.Terminate(); return 0;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == SC_MINIMIZE) {
        application_.Minimize();
        return 0;
      }
      break;
  }
  return TForm::HandleMessage(message, wparam, lparam);
}

LRESULT TForm1::OnCommand(UINT id) {
  switch (id) {
    case kButton1Id: case IDM_SELECT800X600IMAGE: Button1Click(); break;
    case kButton2Id: case IDM_SELECT1024X768IMAGE: Button2Click(); break;
    case IDM_IMPORT800X600PICTURE: Import800x600PictureClick(); break;
    case IDM_IMPORT1024X768PICTURE: Import1024x768PictureClick(); break;
    case kApplyButtonId: ApplyButtonClick(); break;
    case IDM_OPENBOOTSCREENFILE: OpenBootScreenFileClick(); break;
    case IDM_SAVEBOOTSCREENFILEAS:
      // Install offers the file a save wrote.
      if (SaveBootScreenFileAsClick().result == TSaveResult::Saved)
        saved_file_ = SaveDialog1.file_name;
      break;
    case IDM_PREVIEWATBOOT: PreviewAtBootClick(); break;
    case IDM_EXIT1: Exit1Click(); break;
    case IDM_ABOUT1: About1Click(); break;
    case IDM_BOOTSCREENTEMPLATE: BootScreenTemplateClick(); break;
    case IDM_INSTALLBOOTSCREEN: InstallBootScreenClick(); break;
    case IDM_RESTOREORIGINALBOOTSCREEN: RestoreOriginalBootScreenClick(); break;
  }
  return 0;
}

LRESULT TForm1::OnActivate(WPARAM state) {
  // The focus comes back to the control that had it, the first button at the start.
  if (LOWORD(state) == WA_INACTIVE) {
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(handle_, focus)) focused_ = focus;
  } else if (!HIWORD(state)) {
    SetFocus(focused_ != nullptr && IsWindow(focused_) ? focused_ : Button1);
  }
  return 0;
}

}  // namespace marivane::ui
