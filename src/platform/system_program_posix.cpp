// Running a program on POSIX: posix_spawn, with the input and output on /dev/null, and
// waitpid polled until the time is up. Linux has none of Windows' system programs; this runs
// whatever it is given.
#include "platform/system_program.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace marivane::platform {
namespace {

// How often the child is looked at while it runs: often enough that a short program's caller
// hardly waits.
constexpr std::chrono::milliseconds kPollInterval{10};

}  // namespace

std::string SystemProgramPath(const std::string&) { return ""; }

TProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                       std::chrono::milliseconds timeout) {
  TProgramRun run;
  if (program.empty()) {
    run.error = ENOENT;
    return run;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int error = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    run.error = static_cast<std::uint32_t>(error);
    return run;
  }

  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  for (;;) {
    const pid_t ended = waitpid(child, &status, WNOHANG);
    if (ended == child) break;
    if (ended < 0 && errno != EINTR) {
      run.error = static_cast<std::uint32_t>(errno);
      return run;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(child, SIGKILL);
      while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
      run.outcome = TProgramOutcome::TimedOut;
      return run;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  run.outcome = TProgramOutcome::Exited;
  // A program ended by a signal has no exit status; 128 + the signal, as a shell reports it.
  run.exit_code = static_cast<std::uint32_t>(WIFEXITED(status) ? WEXITSTATUS(status)
                                                               : 128 + WTERMSIG(status));
  return run;
}

}  // namespace marivane::platform
