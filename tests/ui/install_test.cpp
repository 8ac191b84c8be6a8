// The File menu's install and restore, against a stand-in for marivane-cli.exe (built by the
// tests, see stand_in_cli.cpp) that the window starts as it would start the real one through
// the UAC prompt: under Wine no prompt comes up and "runas" just starts the program. The real
// one, after a save, is ui_install_test.py's.
#include "ui_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "resources/resource.h"
#include "support/shown_texts.h"

namespace marivane::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::StartsWith;

constexpr char kInstall[] = "Install Boot Screen";
constexpr char kRestore[] = "Restore Original Boot Screen";

// The stand-in, named as the real one, in a folder of its own beside the test programs.
std::string StandIn() {
  char program[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  const std::string self = program;
  return self.substr(0, self.find_last_of('\\') + 1) + "stand-in-cli\\marivane-cli.exe";
}

class InstallCommand : public Windows {
 protected:
  void SetUp() override {
    Windows::SetUp();
    log_.emplace("MARIVANE_STAND_IN_LOG", dir_.PathOf("runs.log"));
    form_->CommandLineToolPath = StandIn();
  }
  // Each run's arguments up to --result, as the stand-in logged them; `result` gets the last
  // result file named, which must be whole and in the window's folder under TEMP: the elevated
  // command may start in System32 with another TEMP.
  std::vector<std::string> Runs(std::string* result = nullptr) {
    std::vector<std::string> runs;
    std::ifstream log(dir_.PathOf("runs.log"));
    for (std::string line; std::getline(log, line);) {
      std::replace(line.begin(), line.end(), '\t', ' ');
      const std::size_t option = line.find(" --result ");
      EXPECT_NE(option, std::string::npos) << line;
      const std::string named = line.substr(option + 10, line.size() - option - 11);
      EXPECT_THAT(named, StartsWith(dir_.PathOf("temp") + "\\mrvn-"));
      if (result) *result = named;
      runs.push_back(line.substr(0, option));
    }
    return runs;
  }
  std::optional<ScopedEnvironment> log_;
};

// The command's words for its user at the command line; the window asks instead of advising.
const std::string kCannotTell = "Whether it pairs cannot be told: no configuration.";
const std::string kForceAdvice = "  Give --force to install it all the same.";
const std::string kNoReport =
    " and left no readable report of what it did in {result}.  To see what is in place now, run "
    "\"marivane-cli status\" from an administrator Command Prompt.";

// One command; how the stand-in answers it and a run with --force (or "cancel": the UAC prompt
// is cancelled; "missing": there is no marivane-cli.exe; "x64": the host is 64-bit); the
// buttons pressed on the boxes that come up, those boxes (text, caption, icon; "{result}"
// stands for the result file named) and the runs.
struct TRow {
  UINT command;
  std::string answer, forced;
  std::vector<int> presses;
  std::vector<std::tuple<std::string, const char*, TIcon>> boxes;
  std::vector<std::string> runs;
};

TEST_F(InstallCommand, ShowsWhatTheCommandSaidAndAsksWhereItCouldNotTell) {
  const std::string file = dir_.Write("boot screen.mui", Bytes{'M', 'Z'});
  const std::string install = "install " + file, tool = StandIn() + " ended with exit status ";
  const UINT kInstallIt = IDM_INSTALLBOOTSCREEN, kRestoreIt = IDM_RESTOREORIGINALBOOTSCREEN;
  const std::vector<TRow> rows = {
      {kInstallIt, "0:done\\n0\\nInstalled.\\nRESTORE.CMD is kept.\\n", "", {IDOK},
       {{"Installed.\nRESTORE.CMD is kept.", kInstall, TIcon::Information}}, {install}},
      {kInstallIt, "1:refused\\r\\n1\\r\\nIt does not pair.\\r\\n", "", {IDOK},
       {{"It does not pair.", kInstall, TIcon::Error}}, {install}},
      {kRestoreIt, "1:failed\\n1\\nThe rename failed.", "", {IDOK},
       {{"The rename failed.", kRestore, TIcon::Error}}, {"restore"}},
      // Success claimed by a command that did not end well is not shown as one.
      {kRestoreIt, "1:done\\n0\\nRestored.", "", {IDOK}, {{"Restored.", kRestore, TIcon::Error}},
       {"restore"}},
      {kInstallIt, "1:-", "", {IDOK}, {{tool + "1" + kNoReport, kInstall, TIcon::Error}}, {install}},
      {kRestoreIt, "0:ok\\n0\\nRestored.", "", {IDOK},
       {{tool + "0" + kNoReport, kRestore, TIcon::Error}}, {"restore"}},
      {kInstallIt, "1:refused\\n1\\n" + kCannotTell + kForceAdvice, "0:done\\n0\\nInstalled.",
       {IDYES, IDOK},
       {{kCannotTell + "\r\rInstall it all the same?", kInstall, TIcon::Warning},
        {"Installed.", kInstall, TIcon::Information}},
       {install, install + " --force"}},
      {kInstallIt, "1:refused\\n1\\n" + kCannotTell + kForceAdvice + " Or not.", "", {IDNO},
       {{kCannotTell + " Or not.\r\rInstall it all the same?", kInstall, TIcon::Warning}}, {install}},
      {kRestoreIt, "cancel", "", {IDOK},
       {{"Nothing was changed: the request for administrator rights was cancelled.", kRestore,
         TIcon::Information}},
       {}},
      {kRestoreIt, "missing", "", {IDOK},
       {{"Marivane cannot do this without " + dir_.PathOf("marivane-cli.exe") +
             ", which is missing.  It belongs beside marivane.exe, as it comes in Marivane's "
             "package.\r\rNothing was changed.",
         kRestore, TIcon::Error}},
       {}},
      {kInstallIt, "x64", "", {IDOK}, {{shown::kX64, shown::kX64Caption, TIcon::Error}}, {}},
      {kRestoreIt, "x64", "", {IDOK}, {{shown::kX64, shown::kX64Caption, TIcon::Error}}, {}},
  };
  // Each run takes a while, for the window to show it waits with its input shut out, still
  // dispatching messages.
  const ScopedEnvironment wait("MARIVANE_STAND_IN_WAIT", "300");
  ShowMain();
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.answer);
    fs::remove(dir_.path() / "runs.log");
    bool waited_with_input_shut_out = false;
    if (!row.runs.empty())
      After(100, [&] { waited_with_input_shut_out = Runs().empty() && !IsWindowEnabled(form_->Handle()); });
    const ScopedEnvironment answer("MARIVANE_STAND_IN_ANSWER", row.answer);
    const ScopedEnvironment forced("MARIVANE_STAND_IN_FORCED", row.forced);
    form_->host_is_wow64 = [x64 = row.answer == "x64"] { return x64; };
    form_->CommandLineToolPath = row.answer == "missing" ? dir_.PathOf("marivane-cli.exe") : StandIn();
    form_->run_elevated = nullptr;
    if (row.answer == "cancel")
      form_->run_elevated = [](const std::string&, const std::vector<std::string>&) {
        return ui::TElevatedRun{.error = ERROR_CANCELLED};
      };
    TDialogDriver driver;
    for (int press : row.presses) driver.Then(Press(press));
    if (row.command == kInstallIt)
      form_->InstallBootScreen(file);
    else
      Command(row.command);

    std::string result;
    EXPECT_EQ(Runs(&result), row.runs);
    EXPECT_EQ(waited_with_input_shut_out, !row.runs.empty()) << "the wait froze the window";
    std::vector<::testing::Matcher<TSeenWindow>> boxes;
    for (auto [text, caption, icon] : row.boxes) {
      if (const std::size_t at = text.find("{result}"); at != std::string::npos)
        text.replace(at, 8, result);
      boxes.push_back(MessageBoxOf(text, caption, icon));
    }
    EXPECT_THAT(driver.seen, ElementsAreArray(boxes));
    EXPECT_TRUE(IsWindowEnabled(form_->Handle())) << "the window takes input again";
  }
}

// Run by ui_install_test.py in a Wine prefix with a planted boot loader and language file: the
// real marivane-cli.exe installs a file saved in the window (MARIVANE_UI_REAL_COMMAND=install)
// or restores the original (=restore), every question answered Yes. The script judges the
// boxes reported and what is left in System32.
TEST_F(InstallCommand, RunsTheRealCommandInAPlantedPrefix) {
  const char* step = std::getenv("MARIVANE_UI_REAL_COMMAND");
  if (step == nullptr) GTEST_SKIP() << "run by ui_install_test.py";
  form_->CommandLineToolPath = BinFolder() + "marivane-cli.exe";
  ShowMain();
  TDialogDriver driver;
  const bool install = std::string(step) == "install";
  if (install) {
    form_->LoadDroppedFile(TSlot::Small, dir_.Write("small.bmp", MakeBitmap({})));
    form_->LoadDroppedFile(TSlot::Big, dir_.Write("big.bmp", MakeBitmap({.width = 1024, .height = 768})));
    driver.Then(EnterFileName(std::string(std::getenv("MARIVANE_UI_SAVE_DIR")) + "\\winload.exe.mui"));
  }
  // The Save dialog's box, the Install dialog, a question, the outcome: Yes where asked, else OK.
  for (int i = 0; i < 4; ++i)
    driver.Then([](HWND box) { Press(GetDlgItem(box, IDYES) ? IDYES : IDOK)(box); });
  if (install) Command(IDM_SAVEBOOTSCREENFILEAS);
  Command(install ? IDM_INSTALLBOOTSCREEN : IDM_RESTOREORIGINALBOOTSCREEN);
  for (const TSeenWindow& box : driver.seen)
    if (box.window_class == "#32770" && !box.text.empty())
      Report("box", box.caption + "|" + std::to_string(static_cast<int>(box.icon)) + "|" + box.text);
}

}  // namespace
}  // namespace marivane::test
