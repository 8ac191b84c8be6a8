// The File menu's install and restore, against a stand-in for marivane-cli.exe (built by the
// tests, see stand_in_cli.cpp) that the window starts as it would start the real one through
// the UAC prompt: under Wine no prompt comes up and "runas" just starts the program.
#include "ui_test_support.h"

#include <fstream>
#include <sstream>

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
  // Each run's arguments, as the stand-in logged them.
  std::vector<std::vector<std::string>> Runs() {
    std::vector<std::vector<std::string>> runs;
    std::ifstream log(dir_.PathOf("runs.log"));
    for (std::string line; std::getline(log, line);) {
      std::istringstream fields(line);
      runs.emplace_back();
      for (std::string field; std::getline(fields, field, '\t');) runs.back().push_back(field);
    }
    return runs;
  }
  std::optional<ScopedEnvironment> log_;
};

// One command and how the stand-in (or the system, for the prompt) answers it, and what the
// user then sees. In the texts, {tool} stands for the stand-in's path and {result} for the
// result file the window named.
struct TRow {
  const char* name;
  UINT command;
  std::string answer;  // the stand-in's answer; empty: the prompt is cancelled
  std::string forced;  // its answer to a run with --force, where it differs
  std::vector<int> presses;
  std::vector<std::tuple<std::string, std::string, TIcon>> boxes;  // text, caption, icon
  std::vector<std::string> runs;  // each run's arguments before --result
};

const char kCannotTell[] =
    "Windows cannot confirm that the file in place is its own.  With --force it is kept as the "
    "original all the same.";
const char kNoReport[] =
    "{tool} ended with exit status {status} and left no readable report of what it did in "
    "{result}.  To see what is in place now, run \"marivane-cli status\" from an administrator "
    "Command Prompt.";

std::string Filled(std::string text, const std::map<std::string, std::string>& values) {
  for (const auto& [name, value] : values)
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at))
      text.replace(at, name.size(), value), at += value.size();
  return text;
}

TEST_F(InstallCommand, ShowsWhatTheCommandSaidAndAsksWhereItCouldNotTell) {
  const std::string file = dir_.Write("boot screen.mui", Bytes{'M', 'Z'});
  const std::vector<TRow> rows = {
      {"done", IDM_INSTALLBOOTSCREEN, "0:done\\n0\\nInstalled.\\nRESTORE.CMD is kept.\\n", "",
       {IDOK}, {{"Installed.\nRESTORE.CMD is kept.", kInstall, TIcon::Information}}, {"install " + file}},
      {"refused", IDM_INSTALLBOOTSCREEN, "1:refused\\r\\n1\\r\\nIt does not pair.\\r\\n", "",
       {IDOK}, {{"It does not pair.", kInstall, TIcon::Error}}, {"install " + file}},
      {"failed", IDM_RESTOREORIGINALBOOTSCREEN, "1:failed\\n1\\nThe rename failed.", "",
       {IDOK}, {{"The rename failed.", kRestore, TIcon::Error}}, {"restore"}},
      // Success claimed by a command that did not end well is not shown as one.
      {"done, exit 1", IDM_RESTOREORIGINALBOOTSCREEN, "1:done\\n0\\nRestored.", "",
       {IDOK}, {{"Restored.", kRestore, TIcon::Error}}, {"restore"}},
      {"no report", IDM_INSTALLBOOTSCREEN, "1:-", "",
       {IDOK}, {{Filled(kNoReport, {{"{status}", "1"}}), kInstall, TIcon::Error}}, {"install " + file}},
      {"no message", IDM_INSTALLBOOTSCREEN, "0:done\\n0\\n", "",
       {IDOK}, {{Filled(kNoReport, {{"{status}", "0"}}), kInstall, TIcon::Error}}, {"install " + file}},
      {"another outcome", IDM_RESTOREORIGINALBOOTSCREEN, "0:ok\\n0\\nRestored.", "",
       {IDOK}, {{Filled(kNoReport, {{"{status}", "0"}}), kRestore, TIcon::Error}}, {"restore"}},
      {"cannot tell, yes", IDM_INSTALLBOOTSCREEN, std::string("1:refused\\n1\\n") + kCannotTell,
       "0:done\\n0\\nInstalled.", {IDYES, IDOK},
       {{kCannotTell + std::string("\r\rInstall it all the same?"), kInstall, TIcon::Warning},
        {"Installed.", kInstall, TIcon::Information}},
       {"install " + file, "install " + file + " --force"}},
      {"cannot tell, no", IDM_INSTALLBOOTSCREEN, std::string("1:refused\\n1\\n") + kCannotTell,
       "0:done\\n0\\nInstalled.", {IDNO},
       {{kCannotTell + std::string("\r\rInstall it all the same?"), kInstall, TIcon::Warning}},
       {"install " + file}},
      {"prompt cancelled", IDM_RESTOREORIGINALBOOTSCREEN, "", "", {IDOK},
       {{"Nothing was changed: the request for administrator rights was cancelled.", kRestore,
         TIcon::Information}}, {}},
  };
  ShowMain();
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove(dir_.path() / "runs.log");
    const ScopedEnvironment answer("MARIVANE_STAND_IN_ANSWER", row.answer);
    const ScopedEnvironment forced("MARIVANE_STAND_IN_FORCED",
                                   row.forced.empty() ? std::nullopt : std::optional(row.forced));
    form_->run_elevated = nullptr;
    if (row.answer.empty())
      form_->run_elevated = [](const std::string&, const std::vector<std::string>&) {
        return ui::TElevatedRun{.error = ERROR_CANCELLED};
      };
    TDialogDriver driver;
    for (int press : row.presses) driver.Then(Press(press));
    if (row.command == IDM_INSTALLBOOTSCREEN)
      form_->InstallBootScreen(file);
    else
      Command(row.command);

    const auto runs = Runs();
    ASSERT_EQ(runs.size(), row.runs.size());
    std::string result;
    for (std::size_t i = 0; i < runs.size(); ++i) {
      // Whole paths: the elevated command may start in System32 with another TEMP.
      ASSERT_GE(runs[i].size(), 2u);
      result = runs[i].back();
      EXPECT_EQ(runs[i][runs[i].size() - 2], "--result");
      EXPECT_THAT(result, StartsWith(dir_.PathOf("temp") + "\\mrvn-"));
      std::string before;
      for (std::size_t j = 0; j + 2 < runs[i].size(); ++j) before += (j ? " " : "") + runs[i][j];
      EXPECT_EQ(before, row.runs[i]);
    }
    std::vector<::testing::Matcher<TSeenWindow>> boxes;
    for (const auto& [text, caption, icon] : row.boxes)
      boxes.push_back(MessageBoxOf(Filled(text, {{"{tool}", StandIn()}, {"{result}", result}}),
                                   caption, icon));
    EXPECT_THAT(driver.seen, ElementsAreArray(boxes));
    EXPECT_TRUE(IsWindowEnabled(form_->Handle())) << "the window takes input again";
  }
}

TEST_F(InstallCommand, IsRefusedOn64BitWindowsAndWithoutItsProgram) {
  ShowMain();
  form_->CommandLineToolPath = dir_.PathOf("marivane-cli.exe");
  TDialogDriver driver;
  driver.Then(Press(IDOK)).Then(Press(IDOK));
  Command(IDM_RESTOREORIGINALBOOTSCREEN);
  form_->host_is_wow64 = [] { return true; };
  form_->InstallBootScreen(dir_.Write("boot-screen.mui", Bytes{'M', 'Z'}));
  EXPECT_THAT(driver.seen,
              ElementsAre(MessageBoxOf("Marivane cannot do this without " +
                                           dir_.PathOf("marivane-cli.exe") +
                                           ", which is missing.  It belongs beside marivane.exe, "
                                           "as it comes in Marivane's package.\r\rNothing was "
                                           "changed.",
                                       kRestore, TIcon::Error),
                          MessageBoxOf(shown::kX64, shown::kX64Caption, TIcon::Error)));
  EXPECT_TRUE(Runs().empty());
}

// Install after a save: the dialog offers the file just saved, the window waits for the command
// without freezing, and the command's message ends it.
TEST_F(InstallCommand, OffersTheFileJustSavedAndShowsTheOutcome) {
  const ScopedEnvironment answer("MARIVANE_STAND_IN_ANSWER", "0:done\\n0\\nThe boot screen is in place.");
  const ScopedEnvironment wait("MARIVANE_STAND_IN_WAIT", "1000");
  form_->LoadDroppedFile(TSlot::Small, dir_.Write("small.bmp", MakeBitmap({})));
  form_->LoadDroppedFile(TSlot::Big, dir_.Write("big.bmp", MakeBitmap({.width = 1024, .height = 768})));
  const std::string target = dir_.PathOf("winload.exe.mui");
  ShowMain();
  std::string offered, title;
  TDialogDriver driver;
  driver.Then(EnterFileName(target))
      .Then(Press(IDOK))
      .Then([&](HWND dialog) {
        offered = FileNameBoxText(dialog);
        title = WindowText(dialog);
        Press(IDOK)(dialog);
      })
      .Then(Press(IDOK));
  Command(IDM_SAVEBOOTSCREENFILEAS);
  bool waited_with_input_shut_out = false;
  After(300, [&] { waited_with_input_shut_out = Runs().empty() && !IsWindowEnabled(form_->Handle()); });
  Command(IDM_INSTALLBOOTSCREEN);
  EXPECT_TRUE(waited_with_input_shut_out);
  ASSERT_EQ(driver.seen.size(), 4u);
  EXPECT_THAT(driver.seen[1], MessageBoxOf(shown::kSaved, shown::kSavedCaption, TIcon::Information));
  EXPECT_EQ(title, kInstall);
  EXPECT_THAT(offered, ::testing::HasSubstr("winload.exe.mui"));
  EXPECT_THAT(driver.seen[3], MessageBoxOf("The boot screen is in place.", kInstall, TIcon::Information));
  const auto runs = Runs();
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(runs[0].size(), 4u);
  EXPECT_EQ(runs[0][0], "install");
  EXPECT_EQ(runs[0][1], target);
}

}  // namespace
}  // namespace marivane::test
