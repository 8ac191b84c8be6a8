// The save: the working folder under the temporary folder, cleared, recreated and stocked with
// the template copy and the two pictures under the names the boot loader looks for; the WIM
// capture; and the command that runs the stages and saves the result. Each folder check
// looks at the file system after the action, not at what the action returned.
#include "base/errors.h"
#include "builder/boot_screen_builder.h"
#include "builder/save_messages.h"
#include "builder/wim_capture.h"
#include "platform/file_replacement.h"
#include "platform/platform.h"
#include "platform/shell_utils.h"

namespace marivane {
namespace {

std::string Join(const std::string& folder, const char* name) {
  return folder + platform::kPathSeparator + name;
}

}  // namespace

bool TBootScreenBuilder::PrepareWorkingFolder() {
  TempPath = platform::TemporaryFolder();
  if (!platform::DirectoryExists(TempPath)) {
    ui_.ShowMessage(kNoTempFolderMessage);
    return false;
  }
  WorkDir = Join(TempPath, "mrvn");
  if (platform::DirectoryExists(WorkDir)) platform::ShellDeleteFolder(WorkDir);
  if (platform::DirectoryExists(WorkDir)) {
    ui_.ShowMessage(kClearWorkDirMessage);
    return false;
  }
  platform::CreateFolder(WorkDir);
  if (!platform::DirectoryExists(WorkDir)) {
    ui_.ShowMessage(kCreateWorkDirMessage);
    return false;
  }
  CaptureDir = Join(WorkDir, "capture");
  platform::CreateFolder(CaptureDir);
  if (!platform::DirectoryExists(CaptureDir)) {
    ui_.ShowMessage(kCreateCaptureDirMessage);
    return false;
  }
  // The program folder already ends in a separator; the second one is harmless.
  TemplatePath = TemplateOverride.empty() ? Join(platform::ProgramFolder(), "x86template")
                                          : TemplateOverride;
  if (!platform::FileExists(TemplatePath)) {
    ui_.ShowMessage(kNoTemplateMessage);
    return false;
  }
  WorkMuiPath = Join(WorkDir, "winload.exe.mui");
  const std::string small_copy = Join(CaptureDir, "osload800x600.bmp");
  const std::string big_copy = Join(CaptureDir, "osload1024x768.bmp");
  if (!platform::CopyFileTo(TemplatePath, WorkMuiPath, true)) {
    ui_.ShowMessage(kCopyTemplateMessage);
    return false;
  }
  for (const auto& [source, target] : {std::pair{SmallImagePath, small_copy}, {BigImagePath, big_copy}}) {
    if (!platform::CopyFileTo(source, target, true)) {
      ui_.ShowMessage(kCopyFileMessageStart + source + kCopyFileMessageEnd);
      return false;
    }
  }
  return true;
}

bool TBootScreenBuilder::CaptureWim() {
  WimPath = Join(WorkDir, "rcdata.wim");
  return CaptureFolderToWim(CaptureDir, WimPath, ui_);
}

bool TBootScreenBuilder::GenerateBootScreen() {
  return ValidateInputs() && PrepareWorkingFolder() && CaptureWim() && BuildBootScreenFile();
}

void TBootScreenBuilder::RemoveWorkingFolder() { platform::ShellDeleteFolder(WorkDir); }

TSaveOutcome TBootScreenBuilder::SaveBootScreenFileAsClick() {
  // The cursor comes back on every way out, an exception from a stage included.
  struct TBusy {
    TUserInterface& ui;
    explicit TBusy(TUserInterface& user) : ui(user) { ui.SetBusy(true); }
    ~TBusy() { ui.SetBusy(false); }
  } busy(ui_);

  wim_size_ = 0;
  if (!GenerateBootScreen()) return {TSaveResult::StageFailed, wim_size_, ""};
  std::string target;
  // The working folder stays for a later look.
  if (!ui_.ChooseSavePath(target)) return {TSaveResult::Cancelled, wim_size_, ""};
  ui_.SetBusy(false);
  TSaveOutcome outcome{TSaveResult::Saved, wim_size_, ""};
  try {
    platform::CopyFileAtomically(WorkMuiPath, target);
  } catch (const EWriteError& unwritable) {
    outcome = {TSaveResult::CopyFailed, wim_size_, unwritable.reason()};
  } catch (const Exception& unreadable) {
    // The finished file could not be read back from the working folder.
    outcome = {TSaveResult::CopyFailed, wim_size_, unreadable.what()};
  }
  if (outcome.result == TSaveResult::Saved)
    ui_.ShowMessageBox(kSavedMessage, kSavedCaption, TMessageIcon::Information);
  else
    ui_.ShowMessageBox(kSaveFailedMessage, kUnableToSaveCaption, TMessageIcon::Error);
  RemoveWorkingFolder();
  return outcome;
}

}  // namespace marivane
