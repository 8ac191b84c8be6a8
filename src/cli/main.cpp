// marivane-cli: the builder from a command line. This file finds the command and reads its
// command line by the command's own table; each command lives in a file of its own.
#include <cstdio>
#include <exception>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_texts.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/help.h"
#include "platform/exit_procs.h"
#include "platform/leftovers.h"
#include "platform/wimgapi.h"

namespace marivane::cli {

#ifdef MARIVANE_TEST_SWITCHES
// Only the tests' marivane-cli-faults has it (tests/cli/test_switches.cpp).
void ArmTestSwitches();
#endif

namespace {

constexpr const TCommand* kCommands[] = {&kBuildCommand,    &kCheckCommand,   &kCaptureCommand,
                                         &kPrepareCommand,  &kTemplateCommand, &kInspectCommand,
                                         &kExtractCommand,  &kInstallCommand,  &kRestoreCommand,
                                         &kStatusCommand};

// What a mistyped command or option most likely meant: a command, help, or an option of the
// program's own.
std::string Suggestion(std::string_view word) {
  std::vector<std::string_view> names = {"help", "--help", "--version"};
  for (const TCommand* command : kCommands) names.push_back(command->name);
  return DidYouMeanText(NearestName(word, names));
}

// What was wrong, then the whole usage: for a command line with no command to go by.
int WrongCommand(const std::string& what) {
  if (!what.empty()) std::fprintf(stderr, "%s\n", what.c_str());
  PrintUsage(stderr);
  return kExitUsage;
}

std::string Unknown(std::string_view word) {
  return UnknownWordMessage(word) + Suggestion(word);
}

// help, help COMMAND; -h and --help say the same.
int Help(std::span<char* const> args) {
  if (args.empty()) {
    PrintHelp();
    return kExitOk;
  }
  if (args.size() > 1) return WrongCommand(kHelpTakesOneMessage);
  const TCommandHelp* command = FindCommandHelp(args[0]);
  if (command == nullptr) return WrongCommand(Unknown(args[0]));
  PrintCommandHelp(*command);
  return kExitOk;
}

bool AsksForHelp(std::span<char* const> args) {
  for (const std::string_view arg : args)
    if (arg == "-h" || arg == "--help") return true;
  return false;
}

// A command's help on -h or --help anywhere after its name; otherwise its command line read by
// its table and the command run. A wrong command line gets what was wrong and the command's
// usage.
int RunCommand(const TCommand& command, std::span<char* const> args) {
  const TCommandHelp& help = *FindCommandHelp(command.name);
  if (AsksForHelp(args)) {
    PrintCommandHelp(help);
    return kExitOk;
  }
  try {
    return command.run(ParseArguments(command, args));
  } catch (const EUsageError& wrong) {
    Say(UsageErrorText(wrong.what(), help.synopsis, help.name));
    return kExitUsage;
  } catch (const std::exception& unforeseen) {
    // The last resort: what the builder and the platform raise on purpose the command says
    // itself; anything else (memory that ran out, a fault of ours) ends it with its text
    // rather than a crash.
    Say(ErrorText(unforeseen));
    return kExitRefused;
  }
}

// Help goes to standard output with status 0; a wrong command line gets what was wrong and the
// usage on standard error, and status 2.
int Run(std::span<char* const> args) {
  if (args.empty()) return WrongCommand("");
  const std::string_view first = args[0];
  const std::span<char* const> rest = args.subspan(1);
  if (first == "--version") {
    if (!rest.empty()) return WrongCommand(kVersionTakesNothingMessage);
    PrintVersion();
    return kExitOk;
  }
  if (first == "help" || first == "-h" || first == "--help") return Help(rest);
  for (const TCommand* command : kCommands)
    if (first == command->name) return RunCommand(*command, rest);
  return WrongCommand(Unknown(first));
}

}  // namespace
}  // namespace marivane::cli

int main(int argc, char** argv) {
  marivane::platform::RemoveLeftoversOnInterrupt();
  wimgapi::LoadWIMGAPI();
#ifdef MARIVANE_TEST_SWITCHES
  marivane::cli::ArmTestSwitches();
#endif
  const int status = marivane::cli::Run({argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)});
  marivane::platform::RunExitProcs();
  return status;
}
