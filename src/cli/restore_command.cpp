// restore [LANGUAGE] [--windows MOUNTPOINT] [--result PATH]: the original an install kept, put
// back byte for byte with its security.
#include "cli/commands.h"
#include "cli/system_change.h"

namespace marivane::cli {
namespace {

constexpr TOption kOptions[] = {kWindowsOption, kResultOption};

int Restore(const TArguments& arguments) {
  std::string why;
  const std::unique_ptr<platform::TWindowsTree> windows =
      WindowsToWorkOn(arguments, TVolumeUse::Change, why);
  if (!windows) return EndOfChange(arguments, {TInstallOutcome::Refused, why});
  return EndOfChange(arguments, RestoreOriginal(*windows, arguments.files.empty() ? "" : arguments.files.front()));
}

}  // namespace

const TCommand kRestoreCommand{.name = "restore", .options = kOptions, .min_files = 0,
                               .max_files = 1, .files = "[LANGUAGE]", .run = Restore};

}  // namespace marivane::cli
