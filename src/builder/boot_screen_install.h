// Putting a boot screen file in the place of Windows' own winload.exe.mui, and the original back:
// the same steps for the running Windows and for a partition mounted on Linux, through the
// platform's TWindowsTree. An install passes a gate first (a good file that pairs with that
// Windows' winload.exe, for the language folder it goes into), keeps the original once with a
// record of it, and swaps the files beside-and-rename, writing a journal as it goes so that a
// run stopped half-way is finished or undone by the next. Whatever happens, the system file is
// the old file or the new one, whole.
#pragma once

#include <functional>
#include <string>

#include "platform/windows_tree.h"

namespace marivane {

enum class TInstallOutcome { Done, Refused, Failed };

struct TInstallResult {
  TInstallOutcome outcome = TInstallOutcome::Failed;
  // What the user reads, one paragraph a line.
  std::string message;
};

// "done", "refused", "failed"
const char* OutcomeName(TInstallOutcome outcome);

struct TInstallRequest {
  std::string file;      // the boot screen file to put in place
  std::string language;  // the language folder; empty: the boot language (offline: see below)
  // Go on where it cannot be told: a boot loader without a configuration to pair with, a file
  // in place that cannot be shown to be Windows' own before the first backup.
  bool force = false;
};

TInstallResult InstallBootScreen(platform::TWindowsTree& tree, const TInstallRequest& request);
// Puts the original kept for `language` (empty: as for an install) back with its security.
TInstallResult RestoreOriginal(platform::TWindowsTree& tree, const std::string& language);
// Per language folder: what is in place, whether a backup exists and suits this boot loader,
// and (online) whether quiet boot is on. Changes nothing.
TInstallResult InstallStatus(platform::TWindowsTree& tree);

// The backup folder of `language` in `tree`, whether it exists or not.
std::string BackupFolderOf(platform::TWindowsTree& tree, const std::string& language);

// --- Fault seam for tests ---

// Tests only: called with the name of each step of an install or a restore before it is taken
// ("write-new", "rename", ...); it may raise, as the system would have failed the step, or end
// the process, as a kill would. Empty: nothing is called.
void SetInstallStepHookForTesting(std::function<void(const std::string& step)> hook);
// Tests only: judge who may change the backup even where the tree says its files keep no
// security of their own (Wine, a folder offline), as if what it reports were kept.
void JudgeBackupSecurityForTesting(bool judge);

}  // namespace marivane
