// The install, the restore and the status, written once for both kinds of TWindowsTree. Each
// change to the system file goes through Replace(), which is the only place that swaps files and
// the only writer of the journal; FinishStoppedRun() reads the journal back.
#include "builder/boot_screen_install.h"

#include <exception>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "base/errors.h"
#include "builder/boot_screen_backup.h"
#include "builder/boot_screen_inspection.h"
#include "builder/default_template.h"
#include "builder/install_messages.h"
#include "module/module_facts.h"
#include "module/pairing.h"
#include "module/version_info.h"
#include "platform/boot_configuration.h"
#include "platform/file_replacement.h"
#include "platform/file_signature.h"
#include "platform/file_trust.h"
#include "platform/platform.h"
#include "platform/shell_utils.h"
#include "platform/system_facts.h"

namespace marivane {
namespace {

using platform::TKeptSecurity;
using platform::TNewOwner;
using platform::TWindowsTree;

constexpr char kReplacementSuffix[] = ".marivane-new";
constexpr std::uint16_t kMachineX86 = 0x14C;

std::function<void(const std::string&)>& StepHook() {
  static std::function<void(const std::string&)> hook;
  return hook;
}

bool& JudgeAlways() {
  static bool judge = false;
  return judge;
}

void Step(const std::string& name) {
  if (StepHook()) StepHook()(name);
}

// A refusal: nothing was changed, and the message says why.
class ERefused : public Exception {
 public:
  using Exception::Exception;
};

// A step that failed, named in the message.
class EStepFailed : public Exception {
 public:
  using Exception::Exception;
};

std::string Words(const std::exception& error) {
  if (const auto* write = dynamic_cast<const EWriteError*>(&error); write && !write->path().empty())
    return write->path() + ": " + write->reason();
  std::string text = error.what();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
    text.pop_back();
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

std::string Joined(const std::vector<std::string>& parts, const std::string& between) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : between) + part;
  return text;
}

std::string WithoutDrive(const std::string& name) {
  return name.size() >= 2 && name[1] == ':' ? name.substr(2) : name;
}

// --- The journal ---

// Written whole (by rename) before each step that changes something, so that a run stopped at
// any point leaves either no journal or one that says what it had begun.
struct TJournal {
  std::string operation;  // "install" or "restore"
  std::string target, replacement;
  std::string old_sha256, new_sha256;
  TKeptSecurity kept;  // the target's security when the swap began
  TKeptSecurity give;  // what the new file is to get
  TNewOwner owner = TNewOwner::AsKept;
  std::vector<std::string> other_names;  // the old file's other names, where known
  std::string step;                      // "begun", "allowing", "renamed"

  std::string Text() const {
    std::string text = "marivane journal 1\n";
    text += "operation=" + operation + "\ntarget=" + target + "\nreplacement=" + replacement +
            "\nold_sha256=" + old_sha256 + "\nnew_sha256=" + new_sha256 + "\nkept=" + kept.Text() +
            "\ngive=" + give.Text() + "\nowner=" +
            (owner == TNewOwner::TrustedInstaller ? "trustedinstaller" : "kept") +
            "\nother_names=" + Joined(other_names, "|") + "\nstep=" + step + "\n";
    return text;
  }

  static TJournal FromText(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != "marivane journal 1")
      throw Exception(kJournalNotOursMessage);
    TJournal journal;
    while (std::getline(lines, line)) {
      const std::size_t equals = line.find('=');
      if (equals == std::string::npos) throw Exception(JournalLineWithoutEqualsMessage(line));
      const std::string name = line.substr(0, equals), value = line.substr(equals + 1);
      if (name == "operation") journal.operation = value;
      else if (name == "target") journal.target = value;
      else if (name == "replacement") journal.replacement = value;
      else if (name == "old_sha256") journal.old_sha256 = value;
      else if (name == "new_sha256") journal.new_sha256 = value;
      else if (name == "kept") journal.kept = TKeptSecurity::FromText(value);
      else if (name == "give") journal.give = TKeptSecurity::FromText(value);
      else if (name == "owner") journal.owner = value == "trustedinstaller" ? TNewOwner::TrustedInstaller : TNewOwner::AsKept;
      else if (name == "step") journal.step = value;
      else if (name == "other_names") {
        std::istringstream names(value);
        for (std::string other; std::getline(names, other, '|');)
          if (!other.empty()) journal.other_names.push_back(other);
      }
    }
    if (journal.target.empty() || journal.replacement.empty() || journal.old_sha256.empty() ||
        journal.new_sha256.empty())
      throw Exception(kJournalWithoutFilesMessage);
    return journal;
  }
};

void WriteJournal(const std::string& folder, const TJournal& journal) {
  Step("journal-" + journal.step);
  const std::string text = journal.Text();
  platform::WriteFileAtomically(InFolder(folder, kBackupJournalName),
                                std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::optional<std::string> DigestOfFileIfThere(const std::string& path) {
  if (!platform::FileExists(path)) return std::nullopt;
  return DigestText(platform::ReadWholeFile(path));
}

// Finishes or undoes the run whose journal lies in `folder`, which changed `target`; what was
// done, or empty when no run was left. The target is the one found now, not the journal's: a
// partition may be mounted elsewhere than it was. Raises EStepFailed when the system file is
// neither the old file nor the new.
std::string FinishStoppedRun(TWindowsTree& tree, const std::string& folder, const std::string& target) {
  const std::string path = InFolder(folder, kBackupJournalName);
  if (!platform::FileExists(path)) return std::string();
  TJournal journal;
  try {
    const std::vector<std::uint8_t> bytes = platform::ReadWholeFile(path);
    journal = TJournal::FromText(std::string(bytes.begin(), bytes.end()));
  } catch (const Exception& unreadable) {
    throw EStepFailed(JournalUnreadableMessage(path, Words(unreadable)));
  }
  journal.target = target;
  journal.replacement = target + kReplacementSuffix;
  const std::string name = tree.WindowsName(journal.target);
  const std::optional<std::string> in_place = DigestOfFileIfThere(journal.target);
  std::string done;
  if (in_place == journal.new_sha256) {
    // The rename was made: the old file lives on under its other names only.
    for (const std::string& other : journal.other_names)
      tree.SetSecurityOf(other, journal.kept, TNewOwner::AsKept);
    tree.SetSecurityOf(journal.target, journal.give, journal.owner);
    done = StoppedRunFinishedMessage(journal.operation, name);
  } else if (in_place == journal.old_sha256) {
    if (journal.step != "begun") tree.SetSecurityOf(journal.target, journal.kept, TNewOwner::AsKept);
    done = StoppedRunUndoneMessage(journal.operation, name);
  } else {
    throw EStepFailed(StoppedRunLostMessage(journal.operation, name, path));
  }
  platform::RemoveFileIfThere(journal.replacement);
  platform::RemoveFileIfThere(path);
  return done;
}

// --- The swap ---

// Puts `bytes` in the place of `target` beside-and-rename, the journal in `folder` kept step by
// step. `give` and `owner`: the security the new file gets; none given (kind None) means the
// target's own, with TrustedInstaller as its owner. Raises EStepFailed naming the step; before
// the rename the old file is left exactly as it was.
void Replace(TWindowsTree& tree, const std::string& folder, const std::string& operation,
             const std::string& target, const std::vector<std::uint8_t>& bytes,
             const std::vector<std::uint8_t>& old_bytes, const TKeptSecurity* give, TNewOwner owner) {
  TJournal journal;
  journal.operation = operation;
  journal.target = target;
  journal.replacement = target + kReplacementSuffix;
  journal.old_sha256 = DigestText(old_bytes);
  journal.new_sha256 = DigestText(bytes);
  journal.owner = owner;
  std::string step = "begin";
  bool allowed = false, renamed = false;
  std::unique_ptr<platform::TSystemFileSwap> swap;
  try {
    Step(step);
    platform::RemoveFileIfThere(journal.replacement);  // a stray left without a journal
    swap = tree.BeginSwap(target);
    journal.kept = swap->Kept();
    journal.give = give ? *give : swap->Kept();
    journal.other_names = tree.OtherNamesOf(target);
    journal.step = "begun";
    WriteJournal(folder, journal);

    Step(step = "write-new");
    platform::WriteFlushedFile(journal.replacement, bytes);
    Step(step = "compare");
    if (platform::ReadWholeFile(journal.replacement) != bytes)
      throw Exception(ReadsBackOtherwiseMessage(journal.replacement));

    journal.step = "allowing";
    WriteJournal(folder, journal);
    Step(step = "allow-rename");
    allowed = true;
    swap->AllowRename();
    Step(step = "rename");
    swap->Rename(journal.replacement);
    renamed = true;
    journal.step = "renamed";
    WriteJournal(folder, journal);
    Step(step = "put-back-old");
    swap->PutBackOldSecurity();
    Step(step = "secure-new");
    swap->SecureTarget(journal.give, owner);
    Step(step = "end");
    platform::RemoveFileIfThere(InFolder(folder, kBackupJournalName));
  } catch (const std::exception& failure) {
    // Whatever stopped the swap, memory that ran out included, the system file gets its own
    // security back before anything else happens.
    const std::string name = tree.WindowsName(target);
    if (renamed)
      throw EStepFailed(StepFailedAfterRenameMessage(step, Words(failure), name, tree.WindowsName(folder)));
    std::string undone;
    try {
      if (allowed && swap) swap->PutBackOldSecurity();
      platform::RemoveFileIfThere(journal.replacement);
      platform::RemoveFileIfThere(InFolder(folder, kBackupJournalName));
    } catch (const Exception& cleanup) {
      undone = TidyingFailedMessage(Words(cleanup));
    }
    throw EStepFailed(StepFailedMessage(step, Words(failure), name, undone));
  }
}

// --- What the install and the restore share ---

struct TPlace {
  std::string language;
  std::string target;  // System32\<language>\winload.exe.mui
  std::string loader;  // System32\winload.exe
  std::string folder;  // the backup folder
};

std::string ChooseLanguage(TWindowsTree& tree, const std::string& requested) {
  if (!requested.empty()) return requested;
  if (!tree.Offline()) {
    const std::string language = FindThisBootLanguage().language;
    if (language.empty())
      throw ERefused(kNoBootLanguageMessage);
    return language;
  }
  const std::vector<std::string> languages = tree.Languages();
  if (languages.size() == 1) return languages.front();
  for (const std::string& language : languages)
    if (language == "en-US") return language;
  if (languages.empty())
    throw ERefused(kNoLanguageThereMessage);
  throw ERefused(SeveralLanguagesMessage(Joined(languages, ", ")));
}

// Where `requested` (or the default language) lies.
TPlace FindPlace(TWindowsTree& tree, const std::string& requested) {
  TPlace place;
  place.language = ChooseLanguage(tree, requested);
  try {
    place.target = tree.LanguageFile(place.language);
    place.loader = tree.BootLoader();
    place.folder = tree.BackupFolder(place.language, false);
  } catch (const ERefused&) {
    throw;
  } catch (const Exception& why) {
    throw ERefused(Words(why));
  }
  if (!platform::FileExists(place.loader))
    throw ERefused(NoBootLoaderMessage(tree.WindowsName(place.loader)));
  if (!platform::FileExists(place.target))
    throw ERefused(NoLanguageFileMessage(tree.WindowsName(place.target)));
  return place;
}

// Online, where files keep their own security: a backup, or the journal of a stopped run, that
// someone other than an administrator can have made or changed is refused. %ProgramData% lets
// every user make folders, and the maker owns them: a user could have made the backup folder
// before the first install and put a "complete" backup of their own there, for a restore to
// put into System32, or a journal that gives the system file the security it names.
void TrustBackup(TWindowsTree& tree, const TPlace& place) {
  if (!tree.KeepsFileSecurity() && !JudgeAlways()) return;
  std::vector<std::string> judged;
  if (ReadCompleteBackup(place.folder)) {
    judged.push_back(InFolder(place.folder, kBackupOriginalName));
    judged.push_back(InFolder(place.folder, kBackupRecordName));
  }
  if (platform::FileExists(InFolder(place.folder, kBackupJournalName)))
    judged.push_back(InFolder(place.folder, kBackupJournalName));
  if (judged.empty()) return;
  // The folder and its parents up to Marivane: whoever may change a folder may replace what
  // it holds.
  std::string folder = place.folder;
  for (int up = 0; up < 3; ++up) {
    judged.push_back(folder);
    folder = folder.substr(0, folder.find_last_of("\\/"));
  }
  for (const std::string& path : judged) {
    std::string who;
    try {
      who = platform::WhoElseCanChange(tree.SecurityOf(path).sddl);
    } catch (const Exception& unreadable) {
      who = SecurityUnreadableMessage(Words(unreadable));
    }
    if (!who.empty())
      throw ERefused(BackupNotTrustedMessage(tree.WindowsName(place.folder), tree.WindowsName(path), who));
  }
}

// Makes the backup folder of `place` ready for use, after the system has been checked: a
// backup there trusted or refused, the folders secured, and a stopped run there finished or
// undone; what that did, or empty.
std::string UseBackupFolder(TWindowsTree& tree, const TPlace& place) {
  TrustBackup(tree, place);
  try {
    tree.SecureBackupFolders(place.language);
  } catch (const EOSError& failure) {
    throw EStepFailed(BackupFoldersUnsecuredMessage(tree.WindowsName(place.folder), Words(failure)));
  } catch (const Exception& why) {
    throw ERefused(Words(why));
  }
  return FinishStoppedRun(tree, place.folder, place.target);
}

std::optional<module::TModuleFacts> FactsOf(const std::vector<std::uint8_t>& bytes, module::TModuleKind kind) {
  try {
    return module::ReadModuleFacts(bytes, kind);
  } catch (const Exception&) {
    return std::nullopt;
  }
}

std::string FileVersionOf(const std::optional<module::TModuleFacts>& facts) {
  return facts && facts->version ? module::VersionText(facts->version->file_version) : "unknown";
}

// Refuses for this program's own reasons what it may not change: a 64-bit Windows, and online a
// process without an administrator's rights.
void CheckSystem(TWindowsTree& tree, const std::optional<module::TModuleFacts>& loader) {
  // Offline only the boot loader can say what the partition's Windows is: one that cannot be
  // read (a 64-bit one is no PE32 program) lets nothing through, not even with --force.
  if (tree.Offline() && !loader)
    throw ERefused(kLoaderUnreadableOfflineMessage);
  if ((!tree.Offline() && platform::IsWow64()) || (loader && loader->machine != kMachineX86))
    throw ERefused(k64BitWindowsMessage);
  if (!tree.Offline() && platform::ProcessElevation() == platform::TElevation::NotElevated)
    throw ERefused(kNotAdministratorMessage);
}

std::string QuietBootWord(platform::TQuietBoot state) {
  switch (state) {
    case platform::TQuietBoot::On: return "on";
    case platform::TQuietBoot::Off: return "off";
    case platform::TQuietBoot::CannotRead: break;
  }
  return "unknown";
}

std::string RunWords(const platform::TProgramRun& run) {
  switch (run.outcome) {
    case platform::TProgramOutcome::Exited: return BcdeditExitMessage(run.exit_code);
    case platform::TProgramOutcome::TimedOut: return kBcdeditTimedOutMessage;
    case platform::TProgramOutcome::NotStarted: break;
  }
  return BcdeditNotStartedMessage(Words(platform::OSError(run.error)));
}

bool Worked(const platform::TProgramRun& run) {
  return run.outcome == platform::TProgramOutcome::Exited && run.exit_code == 0;
}


// `run` given where to say what finishing a stopped run did, which comes first in the message
// however the run itself ends.
template <typename TRun>
TInstallResult Guarded(TRun run) {
  std::string recovered;
  TInstallResult result;
  try {
    result = run(recovered);
  } catch (const ERefused& refused) {
    result = {TInstallOutcome::Refused, Words(refused) + "."};
  } catch (const std::exception& failed) {
    // Every way a change of the system ends is an outcome: the window reads it from the result
    // file even where memory ran out.
    result = {TInstallOutcome::Failed, Words(failed) + "."};
  }
  if (!recovered.empty()) result.message = recovered + "\n" + result.message;
  return result;
}

// --- The install ---

// The gate: a good file, for this language folder, that pairs with this boot loader. Where the
// pairing cannot be told, what --force would go past; empty when the file pairs.
std::string CheckFileToInstall(const TInstallRequest& request, const TPlace& place,
                        const std::vector<std::uint8_t>& bytes, const std::vector<std::uint8_t>& loader) {
  TBootScreenInspection inspection =
      InspectBootScreen(bytes, place.language + "\\" + kBackupOriginalName);
  if (inspection.verdict != TBootScreenVerdict::Good) {
    const TFinding* problem = inspection.FirstProblem();
    throw ERefused(
        BadFileMessage(request.file, VerdictName(inspection.verdict), problem ? &problem->words : nullptr));
  }
  JudgePairingWithLoader(inspection, loader);
  const module::TPairingVerdict& pairing = *inspection.pairing;
  if (pairing.pairing == module::TPairing::kDoesNotPair)
    throw ERefused(
        DoesNotPairMessage(request.file, place.loader, place.language, Joined(pairing.reasons, "; ")));
  if (pairing.pairing == module::TPairing::kCannotTell)
    return PairingUnknownMessage(request.file, place.loader, Joined(pairing.reasons, "; "));
  return std::string();
}

// What the first backup records of the file in place. Where that file cannot be shown to be
// Windows' own, `unsure` says why, for --force to go past.
TBackupRecord RecordOfOriginal(TWindowsTree& tree, const TPlace& place,
                               const std::vector<std::uint8_t>& original,
                               const std::vector<std::uint8_t>& loader,
                               const std::optional<module::TModuleFacts>& loader_facts,
                               platform::TQuietBoot quiet_boot, std::string& unsure) {
  TBackupRecord record;
  record.sha256 = DigestText(original);
  record.size = original.size();
  record.windows_path = tree.WindowsName(place.target);
  record.security = tree.SecurityOf(place.target);
  record.file_version = FileVersionOf(FactsOf(original, module::TModuleKind::kResourceOnly));
  record.loader_version = FileVersionOf(loader_facts);
  const std::optional<platform::TWindowsVersion> version = platform::WindowsVersion();
  record.windows_build = version ? version->Text() : "unknown; the boot loader's version is " + record.loader_version;
  record.quiet_boot_before = QuietBootWord(quiet_boot);

  const platform::TFileSignature signature =
      tree.Offline() ? platform::TFileSignature{} : platform::CatalogSignatureOf(place.target);
  std::vector<std::string> doubts;
  switch (signature.verdict) {
    case platform::TSignatureVerdict::Microsoft:
      record.signature = "Microsoft (" + signature.detail + ")";
      break;
    case platform::TSignatureVerdict::NotMicrosoft:
      record.signature = "not Microsoft's (" + signature.detail + ")";
      doubts.push_back(NotVouchedMessage(signature.detail));
      break;
    case platform::TSignatureVerdict::CannotTell:
      record.signature = "cannot tell" + (signature.detail.empty() ? "" : " (" + signature.detail + ")");
      doubts.push_back(tree.Offline() ? kSignatureOfflineMessage : kVouchUnknownMessage);
      break;
  }
  // A signature says who made the file, not for which version of the boot loader.
  TBootScreenInspection in_place = InspectBootScreen(original, place.language + "\\" + kBackupOriginalName);
  if (in_place.facts) {
    JudgePairingWithLoader(in_place, loader);
    if (in_place.pairing->pairing != module::TPairing::kPairs)
      doubts.push_back(
          InPlaceDoesNotPairMessage(tree.WindowsName(place.loader), Joined(in_place.pairing->reasons, "; ")));
  } else {
    doubts.push_back(kNotLanguageFileMessage);
  }
  if (!doubts.empty())
    unsure = OriginalUnsureMessage(record.windows_path, Joined(doubts, "; "));
  return record;
}

void MakeBackup(TWindowsTree& tree, TPlace& place, const TBackupRecord& record,
                const std::vector<std::uint8_t>& original) {
  place.folder = tree.BackupFolder(place.language, true);
  const std::string script = RestoreScript(place.language, FolderFromRoot(record.windows_path),
                                           WithoutDrive(tree.WindowsName(place.folder)));
  const std::string text = record.Text();
  // The record last: without it the backup is not complete, whatever else is there.
  Step("backup-original");
  platform::WriteFileAtomically(InFolder(place.folder, kBackupOriginalName), original);
  Step("restore-script");
  platform::WriteFileAtomically(InFolder(place.folder, kRestoreScriptName),
                                std::vector<std::uint8_t>(script.begin(), script.end()));
  Step("backup-record");
  platform::WriteFileAtomically(InFolder(place.folder, kBackupRecordName),
                                std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::string> WayBack(TWindowsTree& tree, const TPlace& place) {
  const std::string script = WithoutDrive(tree.WindowsName(place.folder)) + "\\" + kRestoreScriptName;
  return {
      WayBackMessage(place.language),
      WayBackRecoveryMessage(script.substr(0, script.size() - sizeof kRestoreScriptName), place.language),
      WayBackFindScriptMessage(script),
  };
}

std::string QuietBootOn(TWindowsTree& tree, platform::TQuietBoot before) {
  const std::string by_hand = QuietBootByHand(kQuietBootOnCommand);
  if (tree.Offline()) return QuietBootOfflineMessage(by_hand);
  if (before == platform::TQuietBoot::On) return kQuietBootAlreadyOnMessage;
  Step("quiet-boot");
  const platform::TProgramRun run = platform::SetQuietBoot(platform::TSwitch::On);
  if (Worked(run)) return kQuietBootNowOnMessage;
  return QuietBootNotOnMessage(RunWords(run), by_hand);
}

platform::TQuietBoot ReadQuietBoot(TWindowsTree& tree) {
  return tree.Offline() ? platform::TQuietBoot::CannotRead : platform::ReadBootConfiguration().quiet_boot;
}

// How an install and a restore begin, in this order: where `requested` lies, its boot loader
// read and the system checked (a process that may not change it is refused before anything is
// touched), then the backup folder made ready; `recovered` says what finishing a stopped run
// there did.
struct TBeginning {
  TPlace place;
  std::vector<std::uint8_t> loader;
  std::optional<module::TModuleFacts> loader_facts;
};

TBeginning Begin(TWindowsTree& tree, const std::string& requested, std::string& recovered) {
  TBeginning begun{FindPlace(tree, requested), {}, {}};
  begun.loader = ReadBootLoader(begun.place.loader);
  begun.loader_facts = FactsOf(begun.loader, module::TModuleKind::kImageWithCode);
  CheckSystem(tree, begun.loader_facts);
  recovered = UseBackupFolder(tree, begun.place);
  return begun;
}

TInstallResult Install(TWindowsTree& tree, const TInstallRequest& request, std::string& recovered) {
  auto [place, loader, loader_facts] = Begin(tree, request.language, recovered);
  const std::optional<TBackupRecord> backup = ReadCompleteBackup(place.folder);
  if (backup && backup->loader_version != FileVersionOf(loader_facts))
    // An update has replaced the boot loader, and with it the file in place: that file is the
    // one to keep now, and the backup may not be overwritten.
    throw ERefused(BackupOfOtherLoaderMessage(tree.WindowsName(place.folder), backup->loader_version,
                                              FileVersionOf(loader_facts)));
  std::vector<std::uint8_t> bytes;
  try {
    bytes = platform::ReadWholeFile(request.file);
  } catch (const Exception& unreadable) {
    throw ERefused(Words(unreadable));
  }
  std::vector<std::string> unsure;
  if (std::string pairing = CheckFileToInstall(request, place, bytes, loader); !pairing.empty())
    unsure.push_back(std::move(pairing));
  const std::vector<std::uint8_t> in_place = platform::ReadWholeFile(place.target);
  const platform::TQuietBoot quiet_boot = ReadQuietBoot(tree);
  std::optional<TBackupRecord> record;
  if (!backup) {
    std::string original;
    record = RecordOfOriginal(tree, place, in_place, loader, loader_facts, quiet_boot, original);
    if (!original.empty()) unsure.push_back(std::move(original));
  }
  // Everything --force would go past is said at once: a yes given to one doubt must not let
  // another through unseen.
  if (!unsure.empty() && !request.force)
    throw ERefused(Joined(unsure, ". ") + kGiveForceMessage);

  std::vector<std::string> lines;
  if (!record) {
    lines.push_back(BackupStaysMessage(tree.WindowsName(place.folder)));
  } else {
    MakeBackup(tree, place, *record, in_place);
    lines.push_back(BackupMadeMessage(tree.WindowsName(place.folder), record->signature));
  }
  if (in_place == bytes) {
    lines.insert(lines.begin(), AlreadyInstalledMessage(request.file, tree.WindowsName(place.target)));
  } else {
    Replace(tree, place.folder, "install", place.target, bytes, in_place, nullptr, TNewOwner::TrustedInstaller);
    lines.insert(lines.begin(), InstalledMessage(request.file, tree.WindowsName(place.target)));
  }
  lines.push_back(QuietBootOn(tree, quiet_boot));
  for (const std::string& line : WayBack(tree, place)) lines.push_back(line);
  return {TInstallOutcome::Done, Joined(lines, "\n")};
}

// --- The restore ---

std::string QuietBootBack(TWindowsTree& tree, const TBackupRecord& record) {
  if (record.quiet_boot_before != "off") return std::string();
  const std::string by_hand = QuietBootByHand(kQuietBootOffCommand);
  if (tree.Offline()) return QuietBootBackOfflineMessage(by_hand);
  const platform::TQuietBoot now = ReadQuietBoot(tree);
  if (now == platform::TQuietBoot::Off) return std::string();
  if (now == platform::TQuietBoot::CannotRead) return QuietBootBackUnreadMessage(by_hand);
  Step("quiet-boot");
  const platform::TProgramRun run = platform::SetQuietBoot(platform::TSwitch::Off);
  if (Worked(run)) return kQuietBootOffAgainMessage;
  return QuietBootNotOffMessage(RunWords(run), by_hand);
}

TInstallResult Restore(TWindowsTree& tree, const std::string& requested, std::string& recovered) {
  const auto [place, loader, loader_facts] = Begin(tree, requested, recovered);
  const std::optional<TBackupRecord> record = ReadCompleteBackup(place.folder);
  if (!record)
    throw ERefused(NoBackupMessage(place.language, tree.WindowsName(place.folder)));
  if (record->loader_version != FileVersionOf(loader_facts))
    throw ERefused(RestoreForOtherLoaderMessage(record->loader_version, FileVersionOf(loader_facts)));
  const std::string kept = InFolder(place.folder, kBackupOriginalName);
  std::string doubt;
  if (!tree.Offline() && record->signature.starts_with("Microsoft")) {
    // A catalog signature goes by the file's hash, so the copy kept is Windows' own still
    // exactly when Windows vouches for it where it lies.
    const platform::TFileSignature now = platform::CatalogSignatureOf(kept);
    if (now.verdict == platform::TSignatureVerdict::NotMicrosoft)
      throw ERefused(NoLongerVouchedMessage(tree.WindowsName(place.folder), now.detail));
    if (now.verdict == platform::TSignatureVerdict::CannotTell)
      doubt = VouchNowUnknownMessage(now.detail);
  }
  const std::vector<std::uint8_t> original = platform::ReadWholeFile(kept);
  const std::vector<std::uint8_t> in_place = platform::ReadWholeFile(place.target);
  std::vector<std::string> lines;
  if (in_place == original) {
    lines.push_back(OriginalAlreadyInPlaceMessage(tree.WindowsName(place.target)));
  } else {
    Replace(tree, place.folder, "restore", place.target, original, in_place, &record->security, TNewOwner::AsKept);
    lines.push_back(RestoredMessage(tree.WindowsName(place.target)));
  }
  if (!doubt.empty()) lines.push_back(doubt);
  if (const std::string quiet = QuietBootBack(tree, *record); !quiet.empty()) lines.push_back(quiet);
  return {TInstallOutcome::Done, Joined(lines, "\n")};
}

// --- The status ---

std::string InPlaceWords(const std::vector<std::uint8_t>& bytes, const std::optional<TBackupRecord>& backup,
                         const std::string& path, bool offline, const std::string& language) {
  if (backup && DigestText(bytes) == backup->sha256) return kInPlaceBackedUpMessage;
  if (!offline && platform::CatalogSignatureOf(path).verdict == platform::TSignatureVerdict::Microsoft)
    return kInPlaceVouchedMessage;
  const TBootScreenInspection inspection = InspectBootScreen(bytes, language + "\\" + kBackupOriginalName);
  if (backup) return InPlaceBootScreenMessage(VerdictName(inspection.verdict));
  if (inspection.verdict == TBootScreenVerdict::Damaged) return kInPlaceDamagedMessage;
  return InPlaceLanguageFileMessage(VerdictName(inspection.verdict));
}

TInstallResult Status(TWindowsTree& tree) {
  std::vector<std::string> lines;
  std::string loader_version = "unknown";
  try {
    loader_version = FileVersionOf(FactsOf(ReadBootLoader(tree.BootLoader()), module::TModuleKind::kImageWithCode));
  } catch (const Exception&) {
  }
  const std::vector<std::string> languages = tree.Languages();
  if (languages.empty()) lines.push_back(kNoLanguageFolderMessage);
  for (const std::string& language : languages) {
    const std::string target = tree.LanguageFile(language);
    const std::string folder = tree.BackupFolder(language, false);
    const std::optional<TBackupRecord> backup = ReadCompleteBackup(folder);
    std::string in_place;
    try {
      in_place = InPlaceWords(platform::ReadWholeFile(target), backup, target, tree.Offline(), language);
    } catch (const Exception& unreadable) {
      in_place = InPlaceUnreadableMessage(Words(unreadable));
    }
    lines.push_back(InPlaceLineMessage(language, in_place));
    if (!backup)
      lines.push_back(kNoBackupLineMessage);
    else if (backup->loader_version == loader_version)
      lines.push_back(BackupLineMessage(loader_version));
    else
      lines.push_back(OtherLoaderBackupLineMessage(backup->loader_version, loader_version));
    if (platform::FileExists(InFolder(folder, kBackupJournalName))) lines.push_back(kJournalLineMessage);
  }
  if (tree.Offline())
    lines.push_back(kQuietBootOfflineLineMessage);
  else
    lines.push_back(QuietBootLineMessage(QuietBootWord(ReadQuietBoot(tree))));
  return {TInstallOutcome::Done, Joined(lines, "\n")};
}

}  // namespace

const char* OutcomeName(TInstallOutcome outcome) {
  switch (outcome) {
    case TInstallOutcome::Done: return "done";
    case TInstallOutcome::Refused: return "refused";
    case TInstallOutcome::Failed: break;
  }
  return "failed";
}

std::string BackupFolderOf(TWindowsTree& tree, const std::string& language) {
  return tree.BackupFolder(language, false);
}

TInstallResult InstallBootScreen(TWindowsTree& tree, const TInstallRequest& request) {
  return Guarded([&](std::string& recovered) { return Install(tree, request, recovered); });
}

TInstallResult RestoreOriginal(TWindowsTree& tree, const std::string& language) {
  return Guarded([&](std::string& recovered) { return Restore(tree, language, recovered); });
}

TInstallResult InstallStatus(TWindowsTree& tree) {
  return Guarded([&](std::string&) { return Status(tree); });
}

void SetInstallStepHookForTesting(std::function<void(const std::string& step)> hook) {
  StepHook() = std::move(hook);
}

void JudgeBackupSecurityForTesting(bool judge) { JudgeAlways() = judge; }

}  // namespace marivane
