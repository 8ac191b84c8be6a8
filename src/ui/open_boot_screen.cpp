// The main window's reading of boot screen files: "Open Boot Screen File..." shows a file's
// verdict and, for a good one, puts its pictures into the slots as if they had been browsed for;
// "Preview at Boot..." shows a slot's picture as the boot loader would.
#include <string>

#include "base/errors.h"
#include "builder/boot_screen_inspection.h"
#include "builder/save_messages.h"
#include "platform/platform.h"
#include "platform/system_languages.h"
#include "ui/boot_preview.h"
#include "ui/unit1.h"

namespace marivane::ui {
namespace {

// The folder of this Windows' own language file, where the boot loader reads its boot screen;
// empty when there is none.
std::string SystemLanguageFolder() {
  const std::string file = platform::SystemLanguageFilePath(platform::InstallLanguageName());
  const std::size_t end = file.find_last_of("\\/");
  if (end == std::string::npos) return "";
  const std::string folder = file.substr(0, end);
  return platform::DirectoryExists(folder) ? folder : "";
}

std::string Paragraph(const TFinding& finding) {
  return finding.words + "." + (finding.detail.empty() ? "" : "\r(" + finding.detail + ")");
}

// What the verdict box says: the verdict first, then why or what was found.
std::string VerdictText(const std::string& path, const TBootScreenInspection& inspection) {
  std::string text;
  switch (inspection.verdict) {
    case TBootScreenVerdict::Good:
      text = path + kGoodVerdict;
      for (const TFinding& finding : inspection.findings) text += "\r\r" + Paragraph(finding);
      return text;
    case TBootScreenVerdict::NoBootScreen:
      return path + kNoBootScreenVerdict;
    case TBootScreenVerdict::Damaged:
      break;
  }
  return path + kDamagedVerdictStart + Paragraph(*inspection.FirstProblem()) + kDamagedVerdictEnd;
}

}  // namespace

void TForm1::OpenBootScreenFileClick() {
  OpenBootScreenDialog.filter = kBootScreenFilter;
  OpenBootScreenDialog.title = kOpenBootScreenCaption;
  OpenBootScreenDialog.initial_folder = SystemLanguageFolder();
  if (OpenBootScreenDialog.Execute()) OpenBootScreen(OpenBootScreenDialog.file_name);
}

std::string TForm1::NewRunFolder(const std::string& name) {
  if (run_folder_.empty() || !platform::DirectoryExists(run_folder_)) {
    const std::string temp = platform::TemporaryFolder();
    run_folder_ = platform::DirectoryExists(temp) ? platform::CreatePrivateFolder(temp, "mrvn-") : "";
    if (run_folder_.empty()) {
      ShowMessage(kCreateWorkDirMessage);
      return "";
    }
  }
  // Each use gets a folder of its own: the slots may still name the pictures of the file
  // opened before.
  const std::string folder =
      run_folder_ + platform::kPathSeparator + name + "-" + std::to_string(++run_folders_made_);
  platform::CreateFolder(folder);
  if (!platform::DirectoryExists(folder)) {
    ShowMessage(kCreateWorkDirMessage);
    return "";
  }
  return folder;
}

void TForm1::OpenBootScreen(const std::string& path) {
  TBootScreenInspection inspection;
  SetBusy(true);
  try {
    inspection = InspectBootScreenFile(path);
  } catch (...) {
    SetBusy(false);
    throw;
  }
  SetBusy(false);
  if (inspection.verdict != TBootScreenVerdict::Good) {
    ShowMessageBox(VerdictText(path, inspection), kOpenBootScreenCaption,
                   inspection.verdict == TBootScreenVerdict::Damaged ? TMessageIcon::Error
                                                                     : TMessageIcon::Information);
    return;
  }
  const std::string folder = NewRunFolder("open");
  if (folder.empty()) return;
  const std::string small = folder + platform::kPathSeparator + kSmallPictureName;
  const std::string big = folder + platform::kPathSeparator + kBigPictureName;
  platform::WriteWholeFile(small, inspection.small_picture);
  platform::WriteWholeFile(big, inspection.big_picture);
  // The browse button's own way in, so that the slots judge the pictures as they judge any.
  LoadBrowsedFile(TSlot::Small, small);
  LoadBrowsedFile(TSlot::Big, big);
  for (TSlot slot : {TSlot::Small, TSlot::Big}) ShowSlotFile(slot, kTakenFrom + path);
  ShowMessageBox(VerdictText(path, inspection), kOpenBootScreenCaption, TMessageIcon::Information);
}

void TForm1::PreviewAtBootClick() {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoA(MonitorFromWindow(handle_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& screen = monitor.rcMonitor;
  const TSlot slot = BootSlotForScreen(screen.right - screen.left, screen.bottom - screen.top);
  const bool small = slot == TSlot::Small;
  if (!(small ? IsSmallImageValid() : IsBigImageValid())) {
    ShowMessage(std::string(kNoPreviewStart) + (small ? kSmallScreenSize : kBigScreenSize) +
                kNoPreviewEnd);
    return;
  }
  TBootPreviewForm preview(small ? SmallPicture : BigPicture, screen);
  preview.ShowModal();
}

}  // namespace marivane::ui
