// The commands of marivane-cli, one file each: its options, the files it takes and what it
// does. main.cpp lists them; help.cpp holds what their help says.
#pragma once

#include "cli/command_line.h"

namespace marivane::cli {

extern const TCommand kBuildCommand;
extern const TCommand kCheckCommand;
extern const TCommand kCaptureCommand;
extern const TCommand kPrepareCommand;
extern const TCommand kTemplateCommand;
extern const TCommand kInspectCommand;
extern const TCommand kExtractCommand;
extern const TCommand kInstallCommand;
extern const TCommand kRestoreCommand;
extern const TCommand kStatusCommand;

// Options more than one command takes.
inline constexpr TOption kOutputOption{.name = "-o", .value = "OUT"};
inline constexpr TOption kForceOption{.name = "--force"};

}  // namespace marivane::cli
