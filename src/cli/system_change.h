// What install, restore and status share: the Windows they work on (the running one, or the
// partition --windows names, checked before anything is read there), and the end of a run that
// the window may be waiting on: the message for the user, and the --result file.
#pragma once

#include <memory>
#include <string>

#include "builder/boot_screen_install.h"
#include "cli/command_line.h"
#include "platform/windows_tree.h"

namespace marivane::cli {

inline constexpr TOption kWindowsOption{.name = "--windows", .value = "MOUNTPOINT"};
inline constexpr TOption kResultOption{.name = "--result", .value = "PATH"};

enum class TVolumeUse { Change, Read };

// The running Windows, or the one --windows names; null after saying why there is none to
// work on (put in `why`).
std::unique_ptr<platform::TWindowsTree> WindowsToWorkOn(const TArguments& arguments, TVolumeUse use,
                                                        std::string& why);

// Prints the message (standard output when done, standard error otherwise), writes --result
// PATH when given, and returns the exit status.
int EndOfChange(const TArguments& arguments, const TInstallResult& result);

}  // namespace marivane::cli
