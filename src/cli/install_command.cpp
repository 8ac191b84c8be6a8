// install FILE [--language L] [--force] [--windows MOUNTPOINT] [--result PATH]: a boot screen
// file put in the place of Windows' own winload.exe.mui, after the gate, with the original kept.
#include "cli/commands.h"
#include "cli/system_change.h"

namespace marivane::cli {
namespace {

constexpr TOption kOptions[] = {
    {.name = "--language", .value = "L"}, kForceOption, kWindowsOption, kResultOption};

int Install(const TArguments& arguments) {
  std::string why;
  const std::unique_ptr<platform::TWindowsTree> windows =
      WindowsToWorkOn(arguments, TVolumeUse::Change, why);
  if (!windows) return EndOfChange(arguments, {TInstallOutcome::Refused, why});
  TInstallRequest request;
  request.file = arguments.files.front();
  request.language = arguments.Value("--language");
  request.force = arguments.Has("--force");
  return EndOfChange(arguments, InstallBootScreen(*windows, request));
}

}  // namespace

const TCommand kInstallCommand{.name = "install", .options = kOptions, .min_files = 1,
                               .max_files = 1, .files = "FILE", .run = Install};

}  // namespace marivane::cli
