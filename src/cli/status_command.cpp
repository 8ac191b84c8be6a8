// status [--windows MOUNTPOINT]: per language, what is in place, the backup, and quiet boot.
#include "cli/commands.h"
#include "cli/system_change.h"

namespace marivane::cli {
namespace {

constexpr TOption kOptions[] = {kWindowsOption};

int Status(const TArguments& arguments) {
  std::string why;
  const std::unique_ptr<platform::TWindowsTree> windows = WindowsToWorkOn(arguments, TVolumeUse::Read, why);
  if (!windows) return EndOfChange(arguments, {TInstallOutcome::Refused, why});
  return EndOfChange(arguments, InstallStatus(*windows));
}

}  // namespace

const TCommand kStatusCommand{.name = "status", .options = kOptions, .min_files = 0,
                              .max_files = 0, .files = "", .run = Status};

}  // namespace marivane::cli
