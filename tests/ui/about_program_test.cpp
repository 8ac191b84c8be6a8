// The about window with its links, and the program as a whole: start-up order, shutdown and
// the fatal start-up path.
#include "ui_test_support.h"

#include <bit>
#include <cstdlib>

#include "base/errors.h"
#include "platform/exit_procs.h"
#include "platform/wimgapi.h"
#include "resources/resource.h"
#include "ui/program.h"

namespace marivane::test {
namespace {

using ::testing::ElementsAre;

using AboutWindow = Windows;

void Click(HWND control) {
  SendMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  SendMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

// Whether `window` stands in the middle of `on`, but for the pixel that halving drops.
bool CentredOn(HWND window, HWND on) {
  RECT inner{}, outer{};
  GetWindowRect(window, &inner);
  GetWindowRect(on, &outer);
  return std::abs((inner.left + inner.right) - (outer.left + outer.right)) <= 1 &&
         std::abs((inner.top + inner.bottom) - (outer.top + outer.bottom)) <= 1;
}

TEST_F(AboutWindow, OpensModallyWithWorkingLinksAndIgnoresEsc) {
  ShowMain();
  // Away from the screen's middle, so that centred on the main window is told from centred on
  // the screen.
  SetWindowPos(form_->Handle(), nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  std::vector<std::pair<HWND, std::string>> opened;
  about_->open_link = [&](HWND owner, const std::string& address) { opened.emplace_back(owner, address); };
  bool main_disabled = false, open_after_esc = false, hand = false, underlined = false;
  bool centred = false;
  COLORREF colour = 0;
  TDialogDriver driver;
  driver
      .Then([&](HWND about) {
        main_disabled = !IsWindowEnabled(form_->Handle());
        centred = CentredOn(about, form_->Handle());
        Click(about_->Label4);
        Click(about_->Label7);
        SendMessageA(about_->Label4, WM_SETCURSOR, reinterpret_cast<WPARAM>(about_->Label4),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        hand = GetCursor() == LoadCursorA(nullptr, IDC_HAND);
        HDC dc = CreateCompatibleDC(nullptr);
        SendMessageA(about, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(about_->Label7));
        colour = GetTextColor(dc);
        DeleteDC(dc);
        LOGFONTA font{};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(about_->Label4, WM_GETFONT, 0, 0)),
                   sizeof(font), &font);
        underlined = font.lfUnderline != 0;
        PressKey(about, VK_ESCAPE);
        After(100, [&, about] {
          open_after_esc = IsWindowVisible(about) != FALSE;
          PressKey(about, VK_RETURN);  // OK is the default button
        });
      })
      .Then([&](HWND about) { SendMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0); });
  Command(IDM_ABOUT1);
  EXPECT_FALSE(IsWindowVisible(about_->Handle()));
  EXPECT_EQ(about_->ShowModal(), IDCANCEL) << "the caption's close button closes it";

  ASSERT_EQ(driver.seen.size(), 2u);
  EXPECT_EQ(driver.seen[0].caption, "About");
  EXPECT_EQ(driver.seen[0].owner, application_->Handle());
  EXPECT_FALSE(driver.seen[0].stuck);
  EXPECT_TRUE(main_disabled);
  EXPECT_TRUE(centred) << "on the main window";
  EXPECT_TRUE(open_after_esc);
  EXPECT_TRUE(hand);
  EXPECT_TRUE(underlined);
  EXPECT_EQ(colour, RGB(0, 0, 202));
  EXPECT_THAT(opened, ElementsAre(std::pair{about_->Handle(), std::string("mailto:marivane@example.org?subject=Marivane")},
                                  std::pair{about_->Handle(), std::string("https://marivane.example.org/")}));
  EXPECT_EQ(WindowText(about_->Label1), "Marivane v1.1 (BETA)");
  EXPECT_EQ(WindowText(about_->Label6), "For updates, check out my blog:");
  // The longest line is not cut at the window's edge, whatever this system's Tahoma is; OK
  // keeps its place from the bottom right corner.
  RECT client{}, line{}, ok{};
  GetClientRect(about_->Handle(), &client);
  GetWindowRect(about_->Label3, &line);
  GetWindowRect(about_->Button1, &ok);
  MapWindowPoints(nullptr, about_->Handle(), reinterpret_cast<POINT*>(&line), 2);
  MapWindowPoints(nullptr, about_->Handle(), reinterpret_cast<POINT*>(&ok), 2);
  EXPECT_EQ(WindowText(about_->Label3), "Send any bug reports, comments or suggestions regarding this tool to:");
  EXPECT_LE(line.right, client.right);
  EXPECT_EQ(client.right - ok.right, ui::Scaled(8));
  EXPECT_EQ(client.bottom - ok.bottom, ui::Scaled(7));
  EXPECT_TRUE(IsWindowEnabled(form_->Handle()));
  EXPECT_FALSE(GetWindowLongA(about_->Handle(), GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
}

// --- The program as a whole ---

std::vector<std::string> events;
platform::TExitProc exit_proc_before_ours = nullptr;
HWND main_window = nullptr;

void RecordingExitProc() {
  platform::ExitProc = exit_proc_before_ours;
  events.push_back(std::string("exit: windows ") + (IsWindow(main_window) ? "alive" : "gone") +
                   ", library " + (wimgapi::WIMGAPILoaded ? "bound" : "released"));
}

void InstallRecordingExitProc() {
  events.push_back("init");
  exit_proc_before_ours = platform::ExitProc;
  platform::ExitProc = RecordingExitProc;
}

void BindLibrary() { BindImagingLibrary(); }

void FailingInitialisation() { throw Exception("not shown"); }

TEST(Program, StartsInOrderAndEndsWithExitCodeZero) {
  events.clear();
  ui::TProgramOptions options;
  options.initialisations = {InstallRecordingExitProc, BindLibrary};
  options.forms_created = [](ui::TForm1& main, ui::TAboutForm& about) {
    main_window = main.Handle();
    events.push_back(std::string("forms: title ") + ui::Application().Title() +
                     (ui::Application().MainForm() == &main ? ", main first" : "") +
                     (IsWindowVisible(about.Handle()) ? ", about shown" : ", about hidden") +
                     (wimgapi::WIMGAPILoaded ? ", library bound" : ""));
    main.host_is_wow64 = [&main] {
      events.push_back(IsWindowVisible(main.Handle()) ? "show: visible" : "show: not yet visible");
      PostMessageA(main.Handle(), WM_COMMAND, IDM_EXIT1, 0);
      return false;
    };
  };
  TDialogDriver driver;
  EXPECT_EQ(ui::RunProgram(GetModuleHandleA(nullptr), SW_SHOWNORMAL, options), 0);
  EXPECT_THAT(events, ElementsAre("init", "forms: title Marivane, main first, about hidden, library bound",
                                  "show: not yet visible", "exit: windows gone, library released"));
  EXPECT_TRUE(driver.seen.empty());
  EXPECT_EQ(platform::ExitProc, nullptr);
}

TEST(Program, FailureDuringInitialisationIsRuntimeError217) {
  events.clear();
  main_window = nullptr;
  ui::TProgramOptions options;
  options.initialisations = {InstallRecordingExitProc, FailingInitialisation, BindLibrary};
  bool forms_made = false;
  options.forms_created = [&](ui::TForm1&, ui::TAboutForm&) { forms_made = true; };
  TDialogDriver driver;
  driver.Then(Press(IDOK));
  EXPECT_EQ(ui::RunProgram(GetModuleHandleA(nullptr), SW_SHOWNORMAL, options), 217);
  char expected[40];
  std::snprintf(expected, sizeof(expected), "Runtime error 217 at %08X",
                std::bit_cast<unsigned>(&FailingInitialisation));
  EXPECT_THAT(driver.seen, ElementsAre(MessageBoxOf(expected, "Error", TIcon::None)));
  EXPECT_FALSE(forms_made);
  EXPECT_FALSE(wimgapi::WIMGAPILoaded);
  EXPECT_THAT(events, ElementsAre("init", "exit: windows gone, library released"));
}

}  // namespace
}  // namespace marivane::test
