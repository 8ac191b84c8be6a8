// The save: the working folder under the temporary folder, cleared, recreated and stocked with
// the template copy and the two pictures under the names the boot loader looks for; the WIM
// capture; and the command that runs the stages and saves the result. Each folder check
// looks at the file system after the action; what the action returned only says whether this
// run made the folder, and so may remove it.
#include "base/errors.h"
#include "base/owned.h"
#include "builder/boot_screen_builder.h"
#include "builder/language_file.h"
#include "builder/save_messages.h"
#include "builder/wim_capture.h"
#include "platform/file_replacement.h"
#include "platform/platform.h"
#include "platform/shell_utils.h"
#include "platform/system_languages.h"

namespace marivane {
namespace {

std::string Join(const std::string& folder, const char* name) {
  return folder + platform::kPathSeparator + name;
}

// The advice names the folder the file goes into: the template's language's, which for
// x86template is en-US, as the text has always said.
std::string SavedMessage(const std::string& language) {
  std::string text = kSavedMessage;
  if (language.empty() || language == kSavedMessageFolder) return text;
  const std::string folder = std::string("\\System32\\") + kSavedMessageFolder + " folder";
  const std::size_t at = text.find(folder);
  if (at != std::string::npos)
    text.replace(at, folder.size(), "\\System32\\" + language + " folder");
  return text;
}

// The folder a language id belongs in; failing the system's word, the folder the file was
// found in when it has a language folder's name.
std::string LanguageFolderOf(std::uint16_t language, const std::string& path) {
  std::string folder = platform::LanguageFolderName(language);
  if (!folder.empty()) return folder;
  const std::size_t end = path.find_last_of("\\/");
  if (end == std::string::npos || end == 0) return "";
  const std::size_t start = path.find_last_of("\\/", end - 1);
  folder = path.substr(start == std::string::npos ? 0 : start + 1,
                       end - (start == std::string::npos ? 0 : start + 1));
  return platform::IsLanguageName(folder) ? folder : "";
}

// Whether a new folder can be made in the temporary folder: one is made and removed again.
bool TempFolderTakesNewEntries(const std::string& temp, platform::TFolderRemoval removal) {
  const std::string probe = platform::CreatePrivateFolder(temp, "mrvn-");
  if (probe.empty()) return false;
  platform::ShellDeleteFolder(probe, removal);
  return true;
}

}  // namespace

class TBootScreenBuilder::TRunScope : TNonCopyable {
 public:
  explicit TRunScope(TBootScreenBuilder& builder) : builder_(builder) { ++builder_.open_runs_; }
  ~TRunScope() {
    if (--builder_.open_runs_ != 0) return;
    builder_.work_dir_lock_.reset();
    // No later run would find a private folder to clear, so it goes now, even after a stage
    // failed; the shared one stays for a look until the next run clears it.
    if (builder_.WorkingFolderKind == TWorkingFolder::Private) builder_.RemoveWorkingFolder();
  }

 private:
  TBootScreenBuilder& builder_;
};

std::string TBootScreenBuilder::PlannedWorkDir() const {
  if (WorkingFolderKind == TWorkingFolder::Private) return "";
  const std::string temp = platform::TemporaryFolder();
  return temp.empty() ? "" : Join(temp, "mrvn");
}

bool TBootScreenBuilder::PrepareSharedWorkingFolder() {
  WorkDir = Join(TempPath, "mrvn");
  // Without it a second copy of the program, or the command-line tool, would clear this
  // folder under our feet, or leave its own WIM where ours should be.
  work_dir_lock_.reset();
  try {
    work_dir_lock_ = platform::TryLockFile(Join(TempPath, "mrvn.lock"));
  } catch (const EFCreateError&) {
    // A temporary folder that takes no new entry (read-only, say) refuses the lock file before
    // the folder's own steps could fail there: the user hears of the step that would have
    // failed, in its words. Where a folder can be made there after all, the lock file itself
    // is the trouble, and its error says so.
    if (TempFolderTakesNewEntries(TempPath, WorkDirRemoval)) throw;
    ui_.ShowMessage(platform::DirectoryExists(WorkDir) ? kClearWorkDirMessage : kCreateWorkDirMessage);
    return false;
  }
  if (!work_dir_lock_) {
    ui_.ShowMessage(kWorkDirBusyMessageStart + WorkDir + kWorkDirBusyMessageEnd);
    return false;
  }
  if (platform::DirectoryExists(WorkDir)) platform::ShellDeleteFolder(WorkDir, WorkDirRemoval);
  if (platform::DirectoryExists(WorkDir)) {
    ui_.ShowMessage(kClearWorkDirMessage);
    return false;
  }
  work_dir_made_ = platform::CreateFolder(WorkDir);
  if (!platform::DirectoryExists(WorkDir)) {
    ui_.ShowMessage(kCreateWorkDirMessage);
    return false;
  }
  // Somebody who does not take the lock made it between the clearing and now: it is not
  // ours to fill, nor to remove.
  if (!work_dir_made_) {
    ui_.ShowMessage(kClearWorkDirMessage);
    return false;
  }
  return true;
}

bool TBootScreenBuilder::PrepareWorkingFolder() {
  // A private folder an earlier call left goes first: no other run will ever clear it.
  if (WorkingFolderKind == TWorkingFolder::Private) RemoveWorkingFolder();
  work_dir_made_ = false;
  TempPath = platform::TemporaryFolder();
  if (!platform::DirectoryExists(TempPath)) {
    ui_.ShowMessage(kNoTempFolderMessage);
    return false;
  }
  if (WorkingFolderKind == TWorkingFolder::Private) {
    // Nobody else may enter it: it needs no lock, and nothing in it was planted.
    WorkDir = platform::CreatePrivateFolder(TempPath, "mrvn-");
    work_dir_made_ = !WorkDir.empty();
    if (!work_dir_made_) {
      ui_.ShowMessage(kCreateWorkDirMessage);
      return false;
    }
  } else if (!PrepareSharedWorkingFolder()) {
    return false;
  }
  CaptureDir = Join(WorkDir, "capture");
  platform::CreateFolder(CaptureDir);
  if (!platform::DirectoryExists(CaptureDir)) {
    ui_.ShowMessage(kCreateCaptureDirMessage);
    return false;
  }
  template_language_.clear();
  if (!TemplateLanguageFile.empty()) return StageLanguageTemplate();
  // The program folder already ends in a separator; the second one is harmless.
  TemplatePath = TemplateOverride.empty() ? Join(platform::ProgramFolder(), "x86template")
                                          : TemplateOverride;
  if (!platform::FileExists(TemplatePath)) {
    ui_.ShowMessage(kNoTemplateMessage);
    return false;
  }
  WorkMuiPath = Join(WorkDir, "winload.exe.mui");
  if (!platform::CopyFileTo(TemplatePath, WorkMuiPath, platform::TCopyMode::NewFileOnly)) {
    ui_.ShowMessage(kCopyTemplateMessage);
    return false;
  }
  return CopyPictures();
}

bool TBootScreenBuilder::CopyPictures() {
  const std::string small_copy = Join(CaptureDir, "osload800x600.bmp");
  const std::string big_copy = Join(CaptureDir, "osload1024x768.bmp");
  for (const auto& [source, target] : {std::pair{SmallImagePath, small_copy}, {BigImagePath, big_copy}}) {
    if (!platform::CopyFileTo(source, target, platform::TCopyMode::NewFileOnly)) {
      ui_.ShowMessage(kCopyFileMessageStart + source + kCopyFileMessageEnd);
      return false;
    }
  }
  return true;
}

// The template made in memory from the language file goes where x86template's copy would, and
// the pictures follow as they do for it.
bool TBootScreenBuilder::StageLanguageTemplate() {
  TemplatePath = TemplateLanguageFile;
  const TDerivedTemplate derived = DeriveLanguageTemplate(TemplatePath);
  if (!derived.made) {
    ui_.ShowMessage(kLanguageTemplateMessage + DerivedTemplateProblem(derived, TemplatePath));
    return false;
  }
  WorkMuiPath = Join(WorkDir, "winload.exe.mui");
  try {
    platform::WriteWholeFile(WorkMuiPath, derived.made->module.template_bytes);
  } catch (const Exception&) {
    ui_.ShowMessage(kWriteLanguageTemplateMessageStart + TemplatePath + kCopyFileMessageEnd);
    return false;
  }
  template_language_ = LanguageFolderOf(derived.made->language, TemplatePath);
  return CopyPictures();
}

bool TBootScreenBuilder::CaptureWim() {
  WimPath = Join(WorkDir, "rcdata.wim");
  return CaptureFolderToWim(CaptureDir, WimPath, ui_);
}

bool TBootScreenBuilder::GenerateBootScreen() {
  const TRunScope run(*this);
  return ValidateInputs() && PrepareWorkingFolder() && CaptureWim() && BuildBootScreenFile();
}

void TBootScreenBuilder::RemoveWorkingFolder() {
  // A folder this builder did not make may be another run's, or hold what someone else keeps.
  if (!work_dir_made_) return;
  work_dir_made_ = false;
  platform::ShellDeleteFolder(WorkDir, WorkDirRemoval);
}

TSaveOutcome TBootScreenBuilder::SaveBootScreenFileAsClick() {
  const TBusyScope busy(ui_);
  const TRunScope run(*this);

  wim_size_ = 0;
  if (!GenerateBootScreen()) return {TSaveResult::StageFailed, wim_size_, ""};
  std::string target;
  // The working folder stays for a later look.
  if (!ui_.ChooseSavePath(target)) return {TSaveResult::Cancelled, wim_size_, ""};
  ui_.SetBusy(false);
  // The file would go with the working folder at the end of the save.
  if (platform::IsInsideFolder(target, WorkDir)) {
    ui_.ShowSaveOutcome(kSaveInWorkDirMessageStart + target + kSaveInWorkDirMessageEnd,
                        kUnableToSaveCaption, TMessageIcon::Error);
    RemoveWorkingFolder();
    return {TSaveResult::CopyFailed, wim_size_, "it lies inside the temporary working directory"};
  }
  TSaveOutcome outcome{TSaveResult::Saved, wim_size_, ""};
  try {
    platform::CopyFileAtomically(WorkMuiPath, target, CopyFault);
  } catch (const EWriteError& unwritable) {
    outcome = {TSaveResult::CopyFailed, wim_size_, unwritable.reason()};
  } catch (const Exception& unreadable) {
    // The finished file could not be read back from the working folder.
    outcome = {TSaveResult::CopyFailed, wim_size_, unreadable.what()};
  }
  if (outcome.result == TSaveResult::Saved)
    ui_.ShowSaveOutcome(SavedMessage(template_language_), kSavedCaption, TMessageIcon::Information);
  else
    ui_.ShowSaveOutcome(kSaveFailedMessage, kUnableToSaveCaption, TMessageIcon::Error);
  RemoveWorkingFolder();
  return outcome;
}

}  // namespace marivane
