// The main window's install and restore. The window itself never writes under the Windows
// folder, nor judges what may go there: marivane-cli.exe does both, with administrator rights,
// started through the UAC prompt, and says in a result file how it went. The window shows that,
// and where the command could not tell (a boot loader with nothing to pair with, a file in place
// not shown to be Windows' own) asks the user, and on a yes runs it again with --force.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "ui/unit1.h"

#include <shellapi.h>

#include "platform/platform.h"
#include "platform/platform_win32.h"
#include "platform/win32_handles.h"

namespace marivane::ui {
namespace {

// The elevated process may run as another user, in System32, with another TEMP: every path it
// is given is whole.
std::string AbsolutePath(const std::string& path) {
  char whole[MAX_PATH * 4] = {};
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof(whole), whole, nullptr);
  return length == 0 || length >= sizeof(whole) ? path : std::string(whole, length);
}

// ShellExecuteEx's "runas" is what brings up the UAC prompt: CreateProcess never elevates. The
// wait lets the window paint (and the program end) while the input stays shut out of every
// window.
TElevatedRun RunElevated(HWND owner, const std::string& program,
                         const std::vector<std::string>& arguments) {
  const std::string parameters = platform::QuotedArguments(arguments);
  const std::string folder = program.substr(0, program.find_last_of('\\') + 1);
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof(info);
  // No error box of the shell's own: the window says what went wrong.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.hwnd = owner;
  info.lpVerb = "runas";
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  // A console program: its console stays out of sight; it reports through its result file.
  info.nShow = SW_HIDE;
  TElevatedRun run;
  if (!ShellExecuteExA(&info)) {
    run.error = GetLastError();
    return run;
  }
  if (info.hProcess == nullptr) {
    run.error = ERROR_INVALID_HANDLE;
    return run;
  }
  const platform::TFileHandle process(info.hProcess);
  const HANDLE waited = process.Get();
  TModalScope shut_out;
  for (;;) {
    const DWORD woken = MsgWaitForMultipleObjects(1, &waited, FALSE, INFINITE, QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0) break;
    if (woken == WAIT_FAILED) {
      run.error = GetLastError();
      return run;
    }
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        // The loop that ends the program gets its message again; the command runs on alone.
        PostQuitMessage(static_cast<int>(message.wParam));
        run.abandoned = true;
        return run;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  run.ended = GetExitCodeProcess(waited, &run.exit_code) != FALSE;
  if (!run.ended) run.error = GetLastError();
  return run;
}

std::string NextLine(const std::string& text, std::size_t& at) {
  const std::size_t end = std::min(text.find('\n', at), text.size());
  std::string line = text.substr(at, end - at);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  at = end + 1;
  return line;
}

// The result file marivane-cli.exe writes whole, however it ends: the outcome ("done",
// "refused" or "failed"), its exit status, then its message as it printed it. Anything else
// is no report.
TCommandReport ReadReport(const std::string& path) {
  std::string text;
  try {
    const std::vector<std::uint8_t> bytes = platform::ReadWholeFile(path);
    text.assign(bytes.begin(), bytes.end());
  } catch (const std::exception&) {
    return {};
  }
  std::size_t at = 0;
  const std::string outcome = NextLine(text, at);
  const std::string status = NextLine(text, at);
  if (at > text.size() || (outcome != "done" && outcome != "refused" && outcome != "failed") ||
      status.empty() || status.size() > 10 ||
      !std::all_of(status.begin(), status.end(), [](char c) { return std::isdigit(c & 0xFF); }))
    return {};
  std::string message = text.substr(at);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  if (message.empty()) return {};
  return {outcome, message};
}

// A refusal that --force would lift names it: the command's way of saying it could not tell.
bool CouldNotTell(const TCommandReport& report) {
  return report.outcome == "refused" && report.message.find("--force") != std::string::npos;
}

// The message without its sentence on --force, which speaks to a user at the command line: the
// window asks instead.
std::string WithoutForceAdvice(const std::string& message) {
  const std::size_t force = message.find("--force");
  const std::size_t start = message.rfind(". ", force);
  if (force == std::string::npos || start == std::string::npos) return message;
  const std::size_t end = message.find(". ", force);
  return message.substr(0, start + 1) + (end == std::string::npos ? "" : message.substr(end + 1));
}

}  // namespace

void TForm1::InstallBootScreenClick() {
  InstallDialog.filter = kBootScreenFilter;
  InstallDialog.title = kInstallCaption;
  InstallDialog.options |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
  // The file the last save wrote is the one offered; another may be chosen.
  InstallDialog.file_name = saved_file_;
  if (InstallDialog.Execute()) InstallBootScreen(InstallDialog.file_name);
}

void TForm1::InstallBootScreen(const std::string& chosen) {
  if (host_is_wow64()) {
    ShowMessageBox(kX64Message, kX64Caption, TMessageIcon::Error);
    return;
  }
  const std::string path = AbsolutePath(chosen);
  const TCommandReport report = RunElevatedCommand({"install", path}, kInstallCaption);
  if (!CouldNotTell(report)) return ShowReport(report, kInstallCaption);
  const std::string question = WithoutForceAdvice(report.message) + kInstallAnywayQuestion;
  if (application_.ShowMessageBox(question, kInstallCaption,
                                  MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
    return;
  ShowReport(RunElevatedCommand({"install", path, "--force"}, kInstallCaption), kInstallCaption);
}

void TForm1::RestoreOriginalBootScreenClick() {
  if (host_is_wow64()) {
    ShowMessageBox(kX64Message, kX64Caption, TMessageIcon::Error);
    return;
  }
  ShowReport(RunElevatedCommand({"restore"}, kRestoreCaption), kRestoreCaption);
}

void TForm1::ShowReport(const TCommandReport& report, const std::string& caption) {
  if (report.outcome.empty()) return;
  ShowMessageBox(report.message, caption,
                 report.outcome == "done" ? TMessageIcon::Information : TMessageIcon::Error);
}

TCommandReport TForm1::RunElevatedCommand(std::vector<std::string> arguments,
                                          const std::string& caption) {
  const std::string tool = AbsolutePath(CommandLineToolPath);
  if (!platform::FileExists(tool)) {
    ShowMessageBox(kMissingToolStart + tool + kMissingToolEnd, caption, TMessageIcon::Error);
    return {};
  }
  // A folder of the window's own under the user's TEMP: the user's and the administrators' to
  // write, so the elevated command can leave its report there whoever it runs as.
  const std::string folder = NewRunFolder(arguments.front());
  if (folder.empty()) return {};
  const std::string report_path = AbsolutePath(folder + "\\result.txt");
  arguments.insert(arguments.end(), {"--result", report_path});

  SetBusy(true);
  const TElevatedRun run =
      run_elevated ? run_elevated(tool, arguments) : RunElevated(handle_, tool, arguments);
  SetBusy(false);
  if (run.abandoned) return {};
  if (!run.ended) {
    if (run.error == ERROR_CANCELLED)
      ShowMessageBox(kElevationCancelledMessage, caption, TMessageIcon::Information);
    else
      ShowMessageBox(kElevationFailedStart + tool + kElevationFailedMiddle +
                         DefaultHandlerText(platform::SystemErrorText(run.error)) +
                         kElevationFailedEnd,
                     caption, TMessageIcon::Error);
    return {};
  }
  TCommandReport report = ReadReport(report_path);
  // The file in place may be another now: the default template follows it.
  UseDefaultTemplate();
  if (report.outcome.empty()) {
    ShowMessageBox(tool + kNoReportStart + std::to_string(run.exit_code) + kNoReportMiddle +
                       report_path + kNoReportEnd,
                   caption, TMessageIcon::Error);
    return {};
  }
  // A report of success from a command that did not end well is not taken at its word.
  if (report.outcome == "done" && run.exit_code != 0) report.outcome = "failed";
  return report;
}

}  // namespace marivane::ui
