// Running a system program on Windows: CreateProcessA with a command line quoted so that the
// program's own parser (the C runtime's rules, which bcdedit follows) gives back each argument
// as it was.
#include "platform/system_program.h"

#include <windows.h>

#include "platform/platform_win32.h"
#include "platform/win32_handles.h"

namespace marivane::platform {
namespace {

// How long a program that was told to end may take to be gone.
constexpr DWORD kEndingTime = 5000;

// One argument as the C runtime splits a command line: in quotes when it holds a space, a tab
// or a quote (or is empty); a quote escaped by a backslash, and the backslashes before a quote
// (or before the closing one) doubled.
std::string Quoted(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + '"';
}

}  // namespace

std::string QuotedArguments(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) line += (line.empty() ? "" : " ") + Quoted(argument);
  return line;
}

std::string SystemProgramPath(const std::string& name) {
  char folder[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length > MAX_PATH) return "";
  return std::string(folder, length) + "\\" + name;
}

TProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                       std::chrono::milliseconds timeout) {
  TProgramRun run;
  if (program.empty()) {
    run.error = ERROR_FILE_NOT_FOUND;
    return run;
  }
  std::string command_line = Quoted(program);
  if (!arguments.empty()) command_line += ' ' + QuotedArguments(arguments);

  // Input from and output to NUL: the program can neither wait for a key nor write into the
  // caller's console.
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING,
                                 0, nullptr);
  if (nul == INVALID_HANDLE_VALUE) {
    run.error = GetLastError();
    return run;
  }
  const TFileHandle owned_nul(nul);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul;
  startup.hStdOutput = nul;
  startup.hStdError = nul;
  PROCESS_INFORMATION process{};
  // The application name is given, so that nothing on the search path can stand in for it.
  if (!CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
    run.error = GetLastError();
    return run;
  }
  const TFileHandle owned_process(process.hProcess);
  const TFileHandle owned_thread(process.hThread);
  if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, ERROR_TIMEOUT);
    WaitForSingleObject(process.hProcess, kEndingTime);
    run.outcome = TProgramOutcome::TimedOut;
    return run;
  }
  DWORD exit_code = 0;
  GetExitCodeProcess(process.hProcess, &exit_code);
  run.outcome = TProgramOutcome::Exited;
  run.exit_code = exit_code;
  return run;
}

}  // namespace marivane::platform
