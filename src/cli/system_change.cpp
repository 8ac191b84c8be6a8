#include "cli/system_change.h"

#include <cstdio>
#include <exception>
#include <vector>

#include "base/errors.h"
#include "cli/cli_texts.h"
#include "cli/console.h"
#include "platform/file_replacement.h"
#include "platform/offline_windows.h"

namespace marivane::cli {
namespace {

// Why the partition at `mountpoint` cannot be worked on; empty when it can.
std::string VolumeProblem(const std::string& mountpoint, TVolumeUse use) {
  switch (platform::InspectOfflineVolume(mountpoint).state) {
    case platform::TOfflineVolumeState::Usable:
      return "";
    case platform::TOfflineVolumeState::ReadOnly:
      return use == TVolumeUse::Read ? "" : VolumeProblemMessage(mountpoint, kVolumeReadOnlyText);
    case platform::TOfflineVolumeState::Missing:
      return VolumeProblemMessage(mountpoint, kVolumeMissingText);
    case platform::TOfflineVolumeState::NotAFolder:
      return VolumeProblemMessage(mountpoint, kVolumeNotAFolderText);
    case platform::TOfflineVolumeState::Empty:
      return VolumeProblemMessage(mountpoint, kVolumeEmptyText);
    case platform::TOfflineVolumeState::BitLockerLocked:
      return VolumeProblemMessage(mountpoint, kVolumeLockedText);
    case platform::TOfflineVolumeState::DislockerView:
      return VolumeProblemMessage(mountpoint, kVolumeDislockerText);
  }
  return VolumeProblemMessage(mountpoint, kVolumeUnusableText);
}

}  // namespace

std::unique_ptr<platform::TWindowsTree> WindowsToWorkOn(const TArguments& arguments, TVolumeUse use,
                                                        std::string& why) {
  if (!arguments.Has("--windows")) {
    std::unique_ptr<platform::TWindowsTree> running = platform::RunningWindows();
    if (!running)
      why = kNotWindowsMessage;
    return running;
  }
  const std::string mountpoint = arguments.Value("--windows");
  std::unique_ptr<platform::TWindowsTree> mounted = platform::MountedWindows(mountpoint);
  if (!mounted) {
    why = kWindowsOptionOnWindowsMessage;
    return nullptr;
  }
  why = VolumeProblem(mountpoint, use);
  if (!why.empty()) {
    why += ".";
    return nullptr;
  }
  return mounted;
}

int EndOfChange(const TArguments& arguments, const TInstallResult& result) {
  const int status = result.outcome == TInstallOutcome::Done ? kExitOk : kExitRefused;
  std::fprintf(result.outcome == TInstallOutcome::Done ? stdout : stderr, "%s\n", result.message.c_str());
  if (!arguments.Has("--result")) return status;
  const std::string text = std::string(OutcomeName(result.outcome)) + "\n" + std::to_string(status) +
                           "\n" + result.message + "\n";
  try {
    platform::WriteFileAtomically(arguments.Value("--result"),
                                  std::vector<std::uint8_t>(text.begin(), text.end()));
  } catch (const Exception& unwritable) {
    Say(kResultUnwritableMessageStart + ErrorText(unwritable));
    return kExitRefused;
  }
  return status;
}

}  // namespace marivane::cli
