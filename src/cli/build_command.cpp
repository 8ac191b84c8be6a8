// build SMALL.bmp BIG.bmp: the window's save, run with -o as the save dialog's answer; its
// outcome becomes the report and the exit status.
#include <cstdio>
#include <exception>
#include <vector>

#include "base/errors.h"
#include "base/owned.h"
#include "builder/boot_screen_builder.h"
#include "builder/boot_screen_file.h"
#include "builder/default_template.h"
#include "builder/language_file.h"
#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/pictures.h"
#include "platform/platform.h"
#include "platform/shell_utils.h"

namespace marivane::cli {
namespace {

constexpr TOption kOptions[] = {
    kOutputOption,
    kForceOption,
    {.name = "--template", .value = "PATH", .excludes = "--system-template"},
    {.name = "--system-template"},
    {.name = "--prepare"},
    {.name = "--mode", .value = "MODE", .allowed = kModeNames, .needs = "--prepare"},
};

// Where build looks for the template when no --template names one: beside the program, as in
// a build folder or the Windows package, then where an install puts it, PREFIX/share/marivane/
// for PREFIX/bin/marivane-cli. The window looks beside itself only.
std::vector<std::string> TemplatePlaces() {
  const std::string folder = platform::ProgramFolder();  // ends in a separator
  const std::string separator(1, platform::kPathSeparator);
  const char* separators = platform::kPathSeparator == '\\' ? "\\/" : "/";
  const std::size_t last = folder.find_last_not_of(separators);
  const std::size_t cut =
      last == std::string::npos ? std::string::npos : folder.find_last_of(separators, last);
  // The root, or a folder named without a separator ("./"), has no parent to cut back to.
  const std::string parent =
      cut == std::string::npos ? folder + ".." + separator : folder.substr(0, cut + 1);
  return {folder + "x86template",
          parent + "share" + separator + "marivane" + separator + "x86template"};
}

// The first of `places` that holds a file, or empty after saying where it looked.
std::string FindTemplate(const std::vector<std::string>& places, bool named) {
  for (const std::string& place : places)
    if (platform::FileExists(place)) return place;
  Say(TemplateNotFoundMessage(places, named));
  return {};
}

// The builder told which template to take; false after saying there is none. Named none, it
// takes what the window's save takes by default: on Windows, this Windows' own language file,
// which a file must be built on to pair with its boot loader and be installed.
bool ChooseTemplate(const TArguments& arguments, TBootScreenBuilder& builder) {
  if (arguments.Has("--system-template")) {
    builder.TemplateLanguageFile = SystemLanguageFile("", "--system-template");
    return !builder.TemplateLanguageFile.empty();
  }
  const std::string named = arguments.Value("--template");
  if (named.empty()) {
    const TDefaultTemplate found = FindDefaultTemplate();
    if (!found.path.empty()) {
      Say(SystemTemplateText(found.path, found.language,
                             found.source == TDefaultTemplateSource::Backup));
      builder.TemplateLanguageFile = found.path;
      return true;
    }
    if (found.unsuited)
      Say(UnsuitedTemplateText(found.why_built_in));
  }
  if (!named.empty() && IsLanguageFileFromElsewhere(named)) {
    // As the window takes any language file: made into a template in memory.
    Say(LanguageFileTemplateText(named));
    builder.TemplateLanguageFile = named;
    return true;
  }
  builder.TemplateOverride = FindTemplate(named.empty() ? TemplatePlaces() : std::vector{named},
                                          !named.empty());
  return !builder.TemplateOverride.empty();
}

// --prepare: the two pictures are prepared into a folder of this run's own, which only this
// user may enter, and which goes when the run ends; the builder then copies them into its
// working folder like any others. (Its working folder cannot hold them: a save clears it
// first.)
class TPreparedPictures : TNonCopyable {
 public:
  TPreparedPictures() = default;
  ~TPreparedPictures() {
    if (!folder_.empty()) platform::ShellDeleteFolder(folder_);
  }

  // Each of `pictures` replaced by its prepared bitmap; false after saying why one could not be.
  bool Prepare(std::vector<std::string>& pictures, TImportMode mode) {
    folder_ = platform::CreatePrivateFolder(platform::TemporaryFolder(), "mrvn-prepare-");
    if (folder_.empty()) {
      Say(NoPrepareFolderMessage(platform::TemporaryFolder()));
      return false;
    }
    for (TSlot slot : {TSlot::Small, TSlot::Big}) {
      std::string& picture = pictures[slot == TSlot::Small ? 0 : 1];
      const std::string prepared =
          folder_ + platform::kPathSeparator + PreparedFileName(picture, slot);
      try {
        PreparePicture(picture, slot, mode, prepared);
      } catch (const Exception& error) {
        Say(ErrorText(error));
        return false;
      }
      // The WIM records the staged pictures' modification times: the prepared ones take their
      // sources', so that the same photos give the same module on every run. Without it the
      // module is as good, only not the same bytes as the last run's.
      platform::CopyModificationTime(picture, prepared);
      picture = prepared;
    }
    return true;
  }

 private:
  std::string folder_;
};

// Whether both pictures fit their slots, after saying of each that does not why, by its file's
// name and what it is, and pointing a photo, or a bitmap of another size, to --prepare.
bool PicturesFitSlots(const std::vector<std::string>& paths) {
  TPicture pictures[2];
  bool loaded[2] = {false, false};
  bool prepare_helps = false;
  for (std::size_t i = 0; i < 2; ++i) {
    try {
      LoadPictureFile(pictures[i], paths[i]);
      loaded[i] = true;
    } catch (const Exception& error) {
      const std::string photo = PhotoKind(paths[i]);
      Say(PictureErrorMessage(paths[i], photo, ErrorText(error)));
      prepare_helps = prepare_helps || !photo.empty();
    }
  }
  const auto fits = [&](std::size_t i, TSlot slot) { return loaded[i] && FitsSlot(pictures[i], slot); };
  if (fits(0, TSlot::Big) && fits(1, TSlot::Small)) {
    Say(PicturesSwappedMessage(paths[0], paths[1]));
    return false;
  }
  bool fit = loaded[0] && loaded[1];
  for (const TSlot slot : {TSlot::Small, TSlot::Big}) {
    const std::size_t i = slot == TSlot::Small ? 0 : 1;
    if (!loaded[i] || FitsSlot(pictures[i], slot)) continue;
    const char* rejection = slot == TSlot::Small ? kSmallRejectionMessage : kBigRejectionMessage;
    Say(PictureRejectedMessage(paths[i], Description(pictures[i]), rejection));
    prepare_helps = prepare_helps || pictures[i].kind() != TPictureKind::Metafile;
    fit = false;
  }
  if (prepare_helps) Say(kPrepareHelpsMessage);
  return fit;
}

// The working folder is cleared at the start and removed at the end; an output inside it
// would go with it.
bool OutputInWorkingFolder(const std::string& output, const TBootScreenBuilder& builder) {
  const std::string work_dir = builder.PlannedWorkDir();
  if (work_dir.empty() || !platform::IsInsideFolder(output, work_dir)) return false;
  Say(OutputInWorkDirMessage(output, work_dir));
  return true;
}

int Report(const std::string& output, const TSaveOutcome& outcome) {
  const auto wim_size = static_cast<unsigned long long>(outcome.wim_size);
  switch (outcome.result) {
    case TSaveResult::Saved:
      std::printf("%s\n", BuildReport(output, wim_size, kSlotSize).c_str());
      return kExitOk;
    case TSaveResult::CopyFailed:
      Say(UnableToWriteMessage(output, outcome.failure));
      return kExitRefused;
    case TSaveResult::StageFailed:
      if (wim_size > kSlotSize) Say(WimOverSlotMessage(wim_size - kSlotSize, kSlotSize));
      return kExitRefused;
    case TSaveResult::Cancelled:  // never: the console always answers
      break;
  }
  return kExitRefused;
}

int Build(const TArguments& arguments) {
  const std::string output = arguments.Value("-o", "winload.exe.mui");
  if (!OutputMayBeWritten(output, arguments.Has("--force"))) return kExitRefused;
  TConsoleUserInterface ui(output);
  TBootScreenBuilder builder(ui);
  if (!ChooseTemplate(arguments, builder) || !TemporaryFolderFound()) return kExitRefused;
  std::vector<std::string> pictures = arguments.files;
  TPreparedPictures prepared;
  if (arguments.Has("--prepare") &&
      !prepared.Prepare(pictures, ModeNamed(arguments.Value("--mode", "fill"))))
    return kExitRefused;
  if (!PicturesFitSlots(pictures)) return kExitRefused;
  // Where other users may write into the temporary folder, a fixed folder there could be
  // taken or planted by them: each run works in one of its own.
  if (platform::kTemporaryFolderIsShared) builder.WorkingFolderKind = TWorkingFolder::Private;
  if (OutputInWorkingFolder(output, builder)) return kExitRefused;
  try {
    builder.LoadBrowsedFile(TSlot::Small, pictures[0]);
    builder.LoadBrowsedFile(TSlot::Big, pictures[1]);
    return Report(output, builder.SaveBootScreenFileAsClick());
  } catch (const Exception& error) {
    Say(ErrorText(error));
    return kExitRefused;
  }
}

}  // namespace

const TCommand kBuildCommand{.name = "build", .options = kOptions, .min_files = 2, .max_files = 2,
                             .files = "SMALL.bmp BIG.bmp", .run = Build};

}  // namespace marivane::cli
