// What an install, a restore and the status tell the user: the refusals, the findings and the
// outcomes, one paragraph a text. The messages are joined a line each; the last sentence of a
// refusal or a failure gets its full stop where the run ends, so those texts have none.
#pragma once

#include <string>

namespace marivane {

// --- Quiet boot, which the picture needs ---

inline constexpr const char* kQuietBootOnCommand = "bcdedit /set {current} quietboot on";
inline constexpr const char* kQuietBootOffCommand = "bcdedit /set {current} quietboot off";

// `command` and where else to do what it does.
inline std::string QuietBootByHand(const char* command) {
  return std::string(command) +
         " in an administrator Command Prompt, or tick \"No GUI boot\" on the Boot tab of msconfig.";
}

inline std::string QuietBootOfflineMessage(const std::string& by_hand) {
  return "Quiet boot, without which the picture does not show, cannot be set from here: at the "
         "next start of Windows run " + by_hand;
}
inline constexpr const char* kQuietBootAlreadyOnMessage =
    "Quiet boot is on already: the picture shows at the next start.";
inline constexpr const char* kQuietBootNowOnMessage =
    "Quiet boot is now on: the picture shows at the next start.";
inline std::string QuietBootNotOnMessage(const std::string& run, const std::string& by_hand) {
  return "Quiet boot could not be turned on (" + run +
         "), and without it the picture does not show. Turn it on by hand: run " + by_hand;
}

inline std::string QuietBootBackOfflineMessage(const std::string& by_hand) {
  return "Quiet boot was off before the first install; to turn it off again, at the next start of "
         "Windows run " + by_hand;
}
inline std::string QuietBootBackUnreadMessage(const std::string& by_hand) {
  return "Quiet boot was off before the first install, and whether it is on now cannot be read; "
         "to turn it off, run " + by_hand;
}
inline constexpr const char* kQuietBootOffAgainMessage =
    "Quiet boot is off again, as it was before the first install.";
inline std::string QuietBootNotOffMessage(const std::string& run, const std::string& by_hand) {
  return "Quiet boot could not be turned off (" + run + "); to turn it off, run " + by_hand;
}

// How a run of bcdedit went wrong.
inline std::string BcdeditExitMessage(int exit_code) {
  return "bcdedit ended with exit status " + std::to_string(exit_code);
}
inline constexpr const char* kBcdeditTimedOutMessage = "bcdedit did not end in time";
inline std::string BcdeditNotStartedMessage(const std::string& why) {
  return "bcdedit could not be started: " + why;
}

// --- A stopped run's journal ---

// Why a journal cannot be read.
inline constexpr const char* kJournalNotOursMessage = "it is no journal of this program's";
inline std::string JournalLineWithoutEqualsMessage(const std::string& line) {
  return "a line without '=': " + line;
}
inline constexpr const char* kJournalWithoutFilesMessage = "it lacks the files it is about";

inline std::string JournalUnreadableMessage(const std::string& path, const std::string& why) {
  return "A stopped run left a journal that cannot be read (" + path + ": " + why +
         "); nothing was changed";
}
// `operation`: the journal's "install" or "restore"; `name`: the system file.
inline std::string StoppedRunFinishedMessage(const std::string& operation, const std::string& name) {
  return "A stopped " + operation + " had already put its file in place at " + name +
         "; its last steps are now done.";
}
inline std::string StoppedRunUndoneMessage(const std::string& operation, const std::string& name) {
  return "A stopped " + operation + " had not yet replaced " + name +
         "; it has been undone, and the file is as it was.";
}
inline std::string StoppedRunLostMessage(const std::string& operation, const std::string& name,
                                         const std::string& journal) {
  return "A stopped " + operation + " left " + name +
         " neither as it was nor as it was to be; its journal is left at " + journal +
         " and nothing was changed";
}

// --- The swap ---

inline std::string ReadsBackOtherwiseMessage(const std::string& path) {
  return path + " reads back otherwise than it was written";
}
// `step`: the swap's step that failed; `folder`: the journal's.
inline std::string StepFailedAfterRenameMessage(const std::string& step, const std::string& why,
                                                const std::string& name, const std::string& folder) {
  return "The step \"" + step + "\" failed: " + why + ". The new file is in place at " + name +
         ", but its security is not yet what it should be; the next install or restore " +
         "finishes it from the journal in " + folder;
}
inline std::string TidyingFailedMessage(const std::string& why) {
  return " (and tidying up failed too: " + why + "; the next run finishes it)";
}
// `tidying`: empty, or what TidyingFailedMessage says.
inline std::string StepFailedMessage(const std::string& step, const std::string& why, const std::string& name,
                                     const std::string& tidying) {
  return "The step \"" + step + "\" failed: " + why + ". " + name + " is as it was" + tidying;
}

// --- Refusals before anything is touched ---

inline constexpr const char* kNoBootLanguageMessage =
    "No language folder of this Windows holds a winload.exe.mui; name one with --language";
inline constexpr const char* kNoLanguageThereMessage =
    "No language folder of the Windows there holds a winload.exe.mui";
// `languages`: the folders, joined with ", ".
inline std::string SeveralLanguagesMessage(const std::string& languages) {
  return "Several language folders hold a winload.exe.mui (" + languages + "): name one with --language";
}
inline std::string NoBootLoaderMessage(const std::string& path) {
  return "There is no boot loader at " + path;
}
inline std::string NoLanguageFileMessage(const std::string& path) {
  return "There is no winload.exe.mui at " + path +
         ": Marivane replaces the language file a Windows has, and makes none";
}

inline std::string SecurityUnreadableMessage(const std::string& why) {
  return "its security cannot be read: " + why;
}
// `path`: the file or folder that others may change; `who`: who they are.
inline std::string BackupNotTrustedMessage(const std::string& folder, const std::string& path,
                                           const std::string& who) {
  return "The backup in " + folder + " can be changed by users who "
         "are not administrators (" + path + ": " + who + "), so it cannot "
         "be trusted. Check what it holds, then move that folder elsewhere; the next install "
         "then keeps the file in place as the original";
}
inline std::string BackupFoldersUnsecuredMessage(const std::string& folder, const std::string& why) {
  return "The security of the backup's folders in " + folder + " could not be set (" + why +
         "); nothing else was changed";
}

inline constexpr const char* kLoaderUnreadableOfflineMessage =
    "The boot loader there cannot be read as a 32-bit program, so this may be a 64-bit "
    "Windows, for which a boot screen file from Marivane is unfit";
inline constexpr const char* k64BitWindowsMessage =
    "This is a 64-bit Windows: a boot screen file from Marivane is for 32-bit Vista "
    "only, and would stop this Windows from starting";
inline constexpr const char* kNotAdministratorMessage =
    "This changes a system file, which needs an administrator's rights: run it from "
    "an administrator Command Prompt";

// --- The install ---

// `verdict`: how the inspection judged the file; `problem`: its first problem in words, or none.
inline std::string BadFileMessage(const std::string& file, const char* verdict, const std::string* problem) {
  return file + " cannot be installed: it is " + verdict + (problem ? " (" + *problem + ")" : "");
}
// `reasons`: the pairing's, joined with "; ".
inline std::string DoesNotPairMessage(const std::string& file, const std::string& loader,
                                      const std::string& language, const std::string& reasons) {
  return file + " cannot be installed: it does not pair with the boot loader " + loader + " for the folder " +
         language + ": " + reasons;
}
inline std::string PairingUnknownMessage(const std::string& file, const std::string& loader,
                                         const std::string& reasons) {
  return "Whether " + file + " pairs with the boot loader " + loader + " cannot be told: " + reasons;
}

// Why the file in place cannot be shown to be Windows' own.
inline std::string NotVouchedMessage(const std::string& detail) {
  return "Windows does not vouch for it (" + detail + ")";
}
inline constexpr const char* kSignatureOfflineMessage = "its signature cannot be checked offline";
inline constexpr const char* kVouchUnknownMessage = "whether Windows vouches for it cannot be told";
inline std::string InPlaceDoesNotPairMessage(const std::string& loader, const std::string& reasons) {
  return "it does not pair with " + loader + " (" + reasons + ")";
}
inline constexpr const char* kNotLanguageFileMessage = "it cannot be read as a language file";
// `doubts`: the reasons above, joined with "; ".
inline std::string OriginalUnsureMessage(const std::string& path, const std::string& doubts) {
  return "The winload.exe.mui in place at " + path + " cannot be shown to be Windows' own: " + doubts +
         ". What the backup would keep may not be Windows' original";
}
// Follows the doubts, joined with ". ".
inline constexpr const char* kGiveForceMessage = ". Give --force to install it all the same";

inline std::string BackupOfOtherLoaderMessage(const std::string& folder, const std::string& kept_for,
                                              const std::string& now) {
  return "The backup in " + folder + " belongs to winload.exe " + kept_for +
         ", but an update has since put winload.exe " + now + " in its place, and the file in place would "
         "be lost. Move that folder elsewhere, so that this install keeps the file in place as the original";
}

inline std::string BackupStaysMessage(const std::string& folder) {
  return "The original kept by the first install stays in " + folder + ".";
}
inline std::string BackupMadeMessage(const std::string& folder, const std::string& signature) {
  return "The original is kept in " + folder + " (its signature: " + signature + ").";
}
inline std::string AlreadyInstalledMessage(const std::string& file, const std::string& target) {
  return file + " is in place already at " + target + ".";
}
inline std::string InstalledMessage(const std::string& file, const std::string& target) {
  return file + " is installed: it is now " + target + ".";
}

// The way back, a line each. `script`: RESTORE.CMD's path from the drive's root; `folder`: its
// folder.
inline std::string WayBackMessage(const std::string& language) {
  return "To put the original back: marivane-cli restore " + language +
         " in an administrator Command Prompt, or File > Restore Original Boot Screen in Marivane.";
}
inline std::string WayBackRecoveryMessage(const std::string& folder, const std::string& language) {
  return "If Windows does not start: start the computer from the Vista DVD or the OEM recovery "
         "partition (Repair your computer, then Command Prompt) and run RESTORE.CMD from the "
         "Windows drive's " + folder + " folder; or start a Linux live medium, mount the Windows "
         "partition and run marivane-cli restore " + language + " --windows MOUNTPOINT.";
}
inline std::string WayBackFindScriptMessage(const std::string& script) {
  return "To find RESTORE.CMD at the recovery prompt: for %d in (C D E F G H) do @if exist %d:" + script +
         " echo %d:" + script;
}

// --- The restore ---

inline std::string NoBackupMessage(const std::string& language, const std::string& folder) {
  return "There is no complete backup of " + language + "'s winload.exe.mui in " + folder +
         ": nothing to put back";
}
inline std::string RestoreForOtherLoaderMessage(const std::string& kept_for, const std::string& now) {
  return "The backup belongs to winload.exe " + kept_for + ", but an update has since put winload.exe " +
         now + " in its place: putting back the older language file could stop Windows from starting, so "
         "it is left as it is";
}
inline std::string NoLongerVouchedMessage(const std::string& folder, const std::string& detail) {
  return "Windows vouched for the original when it was kept, but no longer vouches for the file in " +
         folder + " (" + detail + "), so it cannot be trusted. Check what it holds, then move that folder "
         "elsewhere";
}
// `detail`: what Windows said, or empty.
inline std::string VouchNowUnknownMessage(const std::string& detail) {
  return "Whether Windows still vouches for the kept original cannot be told" +
         (detail.empty() ? std::string() : " (" + detail + ")") + ".";
}
inline std::string OriginalAlreadyInPlaceMessage(const std::string& target) {
  return "The original is in place already at " + target + ".";
}
inline std::string RestoredMessage(const std::string& target) {
  return "The original winload.exe.mui is back at " + target + ", byte for byte, with its security.";
}

// --- The status ---

// What is in place.
inline constexpr const char* kInPlaceBackedUpMessage = "Windows' own (the original the backup keeps)";
inline constexpr const char* kInPlaceVouchedMessage = "Windows' own (Microsoft vouches for it)";
inline std::string InPlaceBootScreenMessage(const char* verdict) {
  return std::string("a boot screen file, ") + verdict;
}
inline constexpr const char* kInPlaceDamagedMessage = "something else: damaged";
inline std::string InPlaceLanguageFileMessage(const char* verdict) {
  return std::string("a language file (") + verdict + "); whether it is Windows' own cannot be told";
}
inline std::string InPlaceUnreadableMessage(const std::string& why) { return "cannot be read: " + why; }

inline constexpr const char* kNoLanguageFolderMessage = "No language folder holds a winload.exe.mui.";
inline std::string InPlaceLineMessage(const std::string& language, const std::string& in_place) {
  return language + ": in place: " + in_place;
}
inline constexpr const char* kNoBackupLineMessage = "  backup: none";
inline std::string BackupLineMessage(const std::string& loader_version) {
  return "  backup: complete, for this winload.exe (" + loader_version + ")";
}
inline std::string OtherLoaderBackupLineMessage(const std::string& kept_for,
                                                const std::string& loader_version) {
  return "  backup: complete, but for winload.exe " + kept_for + ", not this one (" + loader_version +
         "): a restore would refuse it";
}
inline constexpr const char* kJournalLineMessage =
    "  a stopped run left its journal: the next install or restore finishes or undoes it";
inline constexpr const char* kQuietBootOfflineLineMessage = "Quiet boot: cannot be read offline";
// `state`: "on", "off" or "unknown".
inline std::string QuietBootLineMessage(const std::string& state) { return "Quiet boot: " + state; }

}  // namespace marivane
