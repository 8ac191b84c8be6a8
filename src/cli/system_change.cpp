#include "cli/system_change.h"

#include <cstdio>
#include <exception>
#include <vector>

#include "base/errors.h"
#include "cli/console.h"
#include "platform/file_replacement.h"
#include "platform/offline_windows.h"

namespace marivane::cli {
namespace {

// Why the partition at `mountpoint` cannot be worked on; empty when it can.
std::string VolumeProblem(const std::string& mountpoint, TVolumeUse use) {
  const std::string at = "--windows " + mountpoint + ": ";
  switch (platform::InspectOfflineVolume(mountpoint).state) {
    case platform::TOfflineVolumeState::Usable:
      return "";
    case platform::TOfflineVolumeState::ReadOnly:
      return use == TVolumeUse::Read ? ""
                                     : at + "the partition is mounted read-only (a Windows that was "
                                            "hibernated or not shut down fully is mounted so); shut "
                                            "Windows down fully and mount it read-write";
    case platform::TOfflineVolumeState::Missing:
      return at + "there is nothing there";
    case platform::TOfflineVolumeState::NotAFolder:
      return at + "that is no folder: name the folder the Windows partition is mounted on";
    case platform::TOfflineVolumeState::Empty:
      return at + "the folder is empty: no partition is mounted there (a partition BitLocker has "
                  "locked cannot be mounted at all)";
    case platform::TOfflineVolumeState::BitLockerLocked:
      return at + "BitLocker has locked this partition, and Marivane cannot reach a locked "
                  "partition; unlock it first (with dislocker and the recovery key)";
    case platform::TOfflineVolumeState::DislockerView:
      return at + "this is dislocker's view of the unlocked partition: mount the dislocker-file "
                  "in it and name that mount";
  }
  return at + "it cannot be used";
}

}  // namespace

std::unique_ptr<platform::TWindowsTree> WindowsToWorkOn(const TArguments& arguments, TVolumeUse use,
                                                        std::string& why) {
  if (!arguments.Has("--windows")) {
    std::unique_ptr<platform::TWindowsTree> running = platform::RunningWindows();
    if (!running)
      why = "This is not Windows: name a Windows partition mounted here with --windows MOUNTPOINT.";
    return running;
  }
  const std::string mountpoint = arguments.Value("--windows");
  std::unique_ptr<platform::TWindowsTree> mounted = platform::MountedWindows(mountpoint);
  if (!mounted) {
    why = "--windows is for a Windows partition mounted on Linux; on Windows leave it out.";
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
    Say("The result could not be written: " + ErrorText(unwritable));
    return kExitRefused;
  }
  return status;
}

}  // namespace marivane::cli
