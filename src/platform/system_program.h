// Running one of Windows' own programs (bcdedit.exe) and waiting for it to end. What it prints
// is never read: Windows translates it, and nothing here may depend on a translation.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace marivane::platform {

enum class TProgramOutcome {
  Exited,      // ran to its end; `exit_code` is its exit status
  TimedOut,    // still running when the time was up: it has been ended
  NotStarted,  // the system would not start it; `error` says why
};

struct TProgramRun {
  TProgramOutcome outcome = TProgramOutcome::NotStarted;
  std::uint32_t exit_code = 0;
  // The system's error code when it was not started (a Win32 code, an errno value on POSIX).
  std::uint32_t error = 0;
};

// `name` in the system folder ("C:\Windows\System32\bcdedit.exe"), from the system's own
// record of where that folder is, never from an environment variable a user may have changed;
// empty where there is no such folder (anywhere but Windows).
std::string SystemProgramPath(const std::string& name);

// Starts `program` (a full path: nothing is searched for; an empty one is a file that is not
// there) with `arguments`, each reaching it as
// one argument whatever spaces or quotes it holds, without a window, with its input empty and
// its output thrown away, and waits at most `timeout` for it to end.
TProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                       std::chrono::milliseconds timeout);

}  // namespace marivane::platform
