// The boot screen builder: the two picture slots (800 x 600 and 1024 x 768, both 24-bit) and
// the stages that turn them into a boot screen file. The window derives from it, the
// command-line tool runs one; each supplies the user interface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "builder/picture.h"
#include "builder/user_interface.h"
#include "platform/file_replacement.h"
#include "platform/platform.h"
#include "platform/shell_utils.h"

namespace marivane {

enum class TSlot { Small, Big };

struct TSize {
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// The size of picture a slot takes, and the screen mode the boot loader shows it in.
constexpr TSize SlotSize(TSlot slot) {
  return slot == TSlot::Small ? TSize{800, 600} : TSize{1024, 768};
}

// Where a save stages its files. Shared: the fixed mrvn under the temporary folder, cleared and
// reused by every run, with mrvn.lock beside it keeping a second save out while one runs.
// Private: a new folder of the run's own (mrvn-PID-START-XXXXXX, closed to other users), removed
// when the run ends however it ends; for a temporary folder that other users share.
enum class TWorkingFolder { Shared, Private };

// Whether a slot takes the picture: a 24-bit bitmap of exactly the slot's size. An icon or a
// metafile never fits, whatever its size: the slot would take it as an empty bitmap.
bool FitsSlot(const TPicture& picture, TSlot slot);

// How a save ended. The window has said so in its boxes already and ignores this; the
// command-line tool turns it into its report and exit status.
enum class TSaveResult { Saved, Cancelled, StageFailed, CopyFailed };
struct TSaveOutcome {
  TSaveResult result = TSaveResult::StageFailed;
  // The WIM the assembly stage read, 0 when the save stopped before it: the slot it takes, or
  // how far past the slot it went.
  std::uint64_t wim_size = 0;
  // CopyFailed: why, in the system's words ("Access is denied"), for a front end that can say
  // more than the window's box.
  std::string failure;
};

inline constexpr const char* kSmallRejectionMessage =
    "The image you selected is not valid - it must be 800 x 600 24-bit colour.";
inline constexpr const char* kBigRejectionMessage =
    "The image you selected is not valid - it must be 1024 x 768 24-bit colour.";
inline constexpr const char* kUnsupportedDropMessage = "Unsupported image file, or not an image!";
inline constexpr const char* kWimgapiMissingMessage =
    "The file WIMGAPI.DLL is missing or failed to load!";

class TBootScreenBuilder {
 public:
  explicit TBootScreenBuilder(TUserInterface& ui) : ui_(ui) {}
  virtual ~TBootScreenBuilder() = default;
  TBootScreenBuilder(const TBootScreenBuilder&) = delete;
  TBootScreenBuilder& operator=(const TBootScreenBuilder&) = delete;

  // A file chosen in the open dialog. Loading errors are not caught: they reach the
  // application's default handler.
  void LoadBrowsedFile(TSlot slot, const std::string& path);
  // The one file dropped on a slot's frame: an invalid picture becomes a message of its own.
  void LoadDroppedFile(TSlot slot, const std::string& path);

  // Each test judges the slot's picture anew; an icon or a metafile is turned into an empty
  // bitmap on the way.
  bool IsSmallImageValid() { return IsSlotValid(TSlot::Small); }
  bool IsBigImageValid() { return IsSlotValid(TSlot::Big); }

  // Both slots valid and the imaging library bound; otherwise one message and false.
  bool ValidateInputs();

  // --- The stages of a save; each shows one message and returns false when it fails ---

  // A fresh working folder under the temporary folder, holding a copy of the template and, in
  // its capture folder, byte copies of the two pictures under the boot loader's names. A
  // shared folder is locked first, and the lock is kept until the save or generation ends.
  bool PrepareWorkingFolder();
  // The capture folder becomes rcdata.wim, one bootable LZX-compressed image.
  bool CaptureWim();
  // The WIM spliced into the template copy's slot, with its size and a fresh checksum.
  bool BuildBootScreenFile();
  // The four stages in order, up to the first that fails.
  bool GenerateBootScreen();
  // Removes the working folder, provided this builder made it.
  void RemoveWorkingFolder();
  // The save command: generate, ask where to, copy, report, clean up. The copy replaces the
  // chosen file only once it is complete: a copy that fails leaves it as it was.
  TSaveOutcome SaveBootScreenFileAsClick();

  std::string SmallImagePath;
  std::string BigImagePath;
  TPicture SmallPicture;
  TPicture BigPicture;

  std::string TempPath;
  std::string WorkDir;
  std::string CaptureDir;
  std::string TemplatePath;
  std::string WorkMuiPath;
  std::string WimPath;

  // Where the template is taken from; empty for x86template beside the program.
  std::string TemplateOverride;
  // A language file (the system's own winload.exe.mui, or a copy of it) from which the template
  // is derived in memory and staged in x86template's place; empty for the file above as it is.
  std::string TemplateLanguageFile;
  TWorkingFolder WorkingFolderKind = TWorkingFolder::Shared;
  // Faults a test has a save meet: the copy to the chosen file failing at a step, and working
  // folders that cannot be removed. The programs leave both as they are: no fault.
  platform::TReplacementFault CopyFault;
  platform::TFolderRemoval WorkDirRemoval = platform::TFolderRemoval::Remove;
  // The shared working folder a save will use, for a front end that checks its output path
  // before it starts; empty for a private one, which does not exist before the save makes it.
  std::string PlannedWorkDir() const;

 protected:
  // Called whenever a slot's picture has been replaced, so that a window can redraw it.
  virtual void PictureChanged(TSlot) {}

  TUserInterface& ui_;

 private:
  std::string& PathOf(TSlot slot) { return slot == TSlot::Small ? SmallImagePath : BigImagePath; }
  TPicture& PictureOf(TSlot slot) { return slot == TSlot::Small ? SmallPicture : BigPicture; }
  void LoadSlotFile(TSlot slot, const std::string& path);
  bool IsSlotValid(TSlot slot);
  void ShowRejection(TSlot slot);
  bool PrepareSharedWorkingFolder();

  // Open from the start of a save or generation to its end, however it ends; the outermost
  // one gives back the lock and removes a private working folder.
  class TRunScope;

  bool StageLanguageTemplate();
  bool CopyPictures();

  std::uint64_t wim_size_ = 0;  // set by BuildBootScreenFile for the save's outcome
  std::unique_ptr<platform::TFileLock> work_dir_lock_;  // held by a run in the shared folder
  bool work_dir_made_ = false;  // WorkDir was made by this builder, and so is its to remove
  int open_runs_ = 0;           // a save runs a generation inside it
  // The staged template's language folder ("de-DE"), for the advice after a save; empty for
  // x86template, which is en-US.
  std::string template_language_;
};

}  // namespace marivane
