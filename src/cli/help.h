// What marivane-cli says about itself: the usage a wrong command line gets, --help, --version
// and each command's own help. man/marivane-cli.1 says the same at more length; keep the two
// together (tests/cli/cli_help_test.py compares their synopses and options).
#pragma once

#include <cstdio>
#include <string_view>

namespace marivane::cli {

struct TCommandHelp {
  const char* name;
  const char* synopsis;  // the command line after "marivane-cli "
  const char* summary;   // one line in the usage
  const char* details;   // what it does, its options and its exit statuses
};

// nullptr for a name that is not one of the commands.
const TCommandHelp* FindCommandHelp(std::string_view name);

// The synopses and a line for each command: on standard error after a wrong command line, on
// standard output as the start of --help.
void PrintUsage(std::FILE* to);
void PrintHelp();
void PrintCommandHelp(const TCommandHelp& command);
void PrintVersion();

}  // namespace marivane::cli
