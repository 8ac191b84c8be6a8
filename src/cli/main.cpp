// marivane-cli: the builder from a command line, for checking pictures before building.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/errors.h"
#include "builder/picture.h"
#include "builder/picture_import.h"
#include "builder/boot_screen_builder.h"
#include "builder/boot_screen_file.h"
#include "builder/language_file.h"
#include "builder/wim_capture.h"
#include "cli/help.h"
#include "module/language_template.h"
#include "module/resource_reader.h"
#include "module/template_layout.h"
#include "platform/exit_procs.h"
#include "platform/file_replacement.h"
#include "platform/leftovers.h"
#include "platform/platform.h"
#include "platform/system_languages.h"
#include "platform/shell_utils.h"
#include "platform/wimgapi.h"

namespace marivane {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

// What `build`, `prepare` and `template` take besides their files: -o OUT, --force; for
// `build` --template PATH or --system-template, and --prepare; for `build --prepare` and
// `prepare` --mode MODE; for `prepare` --slot SLOT; for `template` --system. False for
// anything else, or a wrong number of files.
struct TArguments {
  std::vector<std::string> files;
  std::string output;
  std::string template_path;
  bool force = false;
  bool system = false;  // template --system [LANGUAGE], build --system-template
  bool prepare = false;
  std::string slot;
  std::string mode = "fill";
};

// Which of the options beyond -o and --force a command takes.
constexpr unsigned kTakesTemplate = 1;  // --template PATH, --system-template, --prepare, --mode
constexpr unsigned kTakesSlot = 2;      // --slot SLOT, --mode MODE
constexpr unsigned kTakesSystem = 4;    // --system

bool ParseArguments(int count, char** args, std::size_t files, unsigned takes,
                    TArguments& parsed) {
  bool mode_given = false;
  for (int i = 0; i < count; ++i) {
    const std::string arg = args[i];
    if (arg == "-o" && i + 1 < count) {
      parsed.output = args[++i];
    } else if ((takes & kTakesTemplate) != 0 && arg == "--template" && i + 1 < count) {
      parsed.template_path = args[++i];
    } else if ((takes & kTakesTemplate) != 0 && arg == "--system-template") {
      parsed.system = true;
    } else if ((takes & kTakesSystem) != 0 && arg == "--system") {
      parsed.system = true;
    } else if ((takes & kTakesTemplate) != 0 && arg == "--prepare") {
      parsed.prepare = true;
    } else if ((takes & kTakesSlot) != 0 && arg == "--slot" && i + 1 < count) {
      parsed.slot = args[++i];
    } else if ((takes & (kTakesTemplate | kTakesSlot)) != 0 && arg == "--mode" && i + 1 < count) {
      parsed.mode = args[++i];
      mode_given = true;
    } else if (arg == "--force") {
      parsed.force = true;
    } else if (!arg.empty() && arg[0] == '-') {
      return false;
    } else {
      parsed.files.push_back(arg);
    }
  }
  // --mode says how to prepare, so it needs something to prepare.
  if (mode_given && (takes & kTakesTemplate) != 0 && !parsed.prepare) return false;
  // --system takes the language in SOURCE's place, or none for the user's own.
  if (parsed.system && (takes & kTakesSystem) != 0) return parsed.files.size() <= files;
  return parsed.files.size() == files && !(parsed.system && !parsed.template_path.empty());
}

// This installation's language file for `language`, or for the user's interface language when
// it is empty; empty after saying why there is none.
std::string SystemLanguageFile(const std::string& language, const char* option) {
  if (!platform::kHasSystemLanguageFiles) {
    std::fprintf(stderr,
                 "%s reads the language file of the Windows it runs on "
                 "(%%windir%%\\System32\\LANGUAGE\\winload.exe.mui), and so needs Windows. "
                 "Name the file instead: marivane-cli template SOURCE (a mounted Windows "
                 "partition's Windows/System32/LANGUAGE/winload.exe.mui serves), then build "
                 "--template with its output\n",
                 option);
    return "";
  }
  const std::string name = language.empty() ? platform::UserLanguageName() : language;
  if (name.empty()) {
    std::fprintf(stderr, "The system does not say which language the user works in; name one: "
                         "%s de-DE\n", option);
    return "";
  }
  const std::string path = platform::SystemLanguageFilePath(name);
  if (path.empty()) {
    std::fprintf(stderr, "%s is not a language name such as de-DE\n", name.c_str());
    return "";
  }
  if (!platform::FileExists(path)) {
    std::fprintf(stderr, "%s: there is no such file; this Windows has no language file for %s\n",
                 path.c_str(), name.c_str());
    return "";
  }
  return path;
}

// --- Preparing any picture for a slot ---

struct TSlotShape {
  const char* name;
  TSlot slot;
  std::int32_t width;
  std::int32_t height;
};
constexpr TSlotShape kSlotShapes[] = {{"small", TSlot::Small, 800, 600},
                                      {"big", TSlot::Big, 1024, 768}};

struct TModeName {
  const char* name;
  TImportMode mode;
};
constexpr TModeName kModeNames[] = {{"fill", TImportMode::Fill},
                                    {"fit", TImportMode::Fit},
                                    {"stretch", TImportMode::Stretch}};

const TModeName* FindMode(std::string_view name) {
  for (const TModeName& mode : kModeNames)
    if (name == mode.name) return &mode;
  return nullptr;
}

struct TUprightSize {
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// The picture decoded, turned upright, scaled to the slot and written whole or not at all.
// Returns the picture's size once upright; raises what the decoder and the write do.
TUprightSize PreparePicture(const std::string& source, const TSlotShape& shape,
                            TImportMode mode, const std::string& output) {
  const TRgbImage upright = LoadImportPicture(source);
  platform::WriteFileAtomically(
      output, EncodeBitmap24(ScaleToSlot(upright, shape.width, shape.height, mode)));
  return {upright.width, upright.height};
}

// The prepared picture's name without its folder: the default output goes to the current one.
std::string PreparedFileName(const std::string& source, const TSlotShape& shape) {
  const std::string path = PreparedPictureName(source, shape.width, shape.height);
  return path.substr(path.find_last_of("/\\:") + 1);  // npos + 1 == 0
}

// An existing output is replaced only when the user says so.
bool OutputMayBeWritten(const TArguments& parsed) {
  if (parsed.force || !std::filesystem::exists(parsed.output)) return true;
  std::fprintf(stderr, "%s exists already; add --force to replace it\n", parsed.output.c_str());
  return false;
}

// What the tool says for an error the builder or the platform raised: the window's text, but a
// failed write names its file and the system's reason where the window says only "Stream
// write error".
std::string ErrorText(const std::exception& error) {
  const auto* unwritable = dynamic_cast<const EWriteError*>(&error);
  if (unwritable != nullptr && !unwritable->path().empty())
    return UnableToWriteMessage(unwritable->path(), unwritable->reason());
  return DefaultHandlerText(error.what());
}

// Whether `output` would lie inside `folder`, whatever links or spellings lead there: a WIM
// written inside the folder it captures would take itself in as it grows. Each folder above
// the output's (links resolved) is compared by identity with the captured folder.
bool LiesInside(const std::string& output, const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path at = fs::absolute(output, error).parent_path();
  if (error) return false;
  at = fs::weakly_canonical(at, error);
  if (error) return false;
  for (;;) {
    if (fs::equivalent(at, folder, error)) return true;
    if (at == at.parent_path()) return false;
    at = at.parent_path();
  }
}

// Messages of the builder go to standard error, each on its own line; the carriage returns
// that break a message box's paragraphs become line breaks. Once a save has its path, the
// builder's last word is the box saying how the copy went: `build` reports that itself.
class TConsoleUserInterface final : public TUserInterface {
 public:
  TConsoleUserInterface() = default;
  explicit TConsoleUserInterface(std::string save_path) : save_path_(std::move(save_path)) {}

  void ShowMessage(const std::string& text) override { Print(text); }
  void ShowMessageBox(const std::string& text, const std::string& caption, TMessageIcon) override {
    Print(caption + ": " + text);
  }
  // The command line names the output up front, and --force has been weighed already; there
  // is no dialog to ask.
  bool ChooseSavePath(std::string& path) override {
    path = save_path_;
    path_given_ = true;
    return true;
  }
  void SetBusy(bool) override {}

 private:
  void Print(std::string text) const {
    if (path_given_) return;
    for (char& c : text)
      if (c == '\r') c = '\n';
    std::fprintf(stderr, "%s\n", text.c_str());
  }

  std::string save_path_;
  bool path_given_ = false;
};

// One line per file: what was loaded and whether each slot would take it, or the error the
// window's default handler would show.
int CheckCommand(int count, char** files) {
  if (count == 0) return kExitUsage;
  int status = kExitOk;
  for (int i = 0; i < count; ++i) {
    const std::string path = files[i];
    TPicture picture;
    try {
      LoadPictureFile(picture, path);
    } catch (const std::exception& error) {
      std::printf("%s: error: %s\n", path.c_str(), DefaultHandlerText(error.what()).c_str());
      status = kExitRefused;
      continue;
    }
    std::string description = std::string(PictureKindName(picture.kind())) + " " +
                              std::to_string(picture.width()) + "x" +
                              std::to_string(picture.height());
    if (picture.kind() == TPictureKind::Bitmap)
      description += std::string(" ") + PixelFormatName(picture.pixel_format());
    std::printf("%s: %s small=%s big=%s\n", path.c_str(), description.c_str(),
                FitsSlot(picture, TSlot::Small) ? "valid" : "rejected",
                FitsSlot(picture, TSlot::Big) ? "valid" : "rejected");
  }
  return status;
}

int CaptureCommand(int count, char** args) {
  if (count != 2) return kExitUsage;
  const std::string folder = args[0];
  const std::string output = args[1];
  if (LiesInside(output, folder)) {
    std::fprintf(stderr, "%s lies inside %s, the folder being captured; write it elsewhere\n",
                 output.c_str(), folder.c_str());
    return kExitRefused;
  }
  // The library writes a new file beside OUT, which takes OUT's place only once the capture
  // is complete: a capture that fails leaves OUT as it was, or absent.
  TConsoleUserInterface ui;
  std::optional<platform::TFileReplacement> wim;
  try {
    wim.emplace(output);
  } catch (const EWriteError& unwritable) {
    // What the library would have said for a file the system would not create, then why.
    if (unwritable.code() != 0)
      ui.ShowMessage(kCreateWimFailedMessage + std::to_string(unwritable.code()));
    std::fprintf(stderr, "%s\n", ErrorText(unwritable).c_str());
    return kExitRefused;
  }
  wim->Close();
  if (!CaptureFolderToWim(folder, wim->TemporaryPath(), ui)) return kExitRefused;
  try {
    wim->Commit();
  } catch (const EWriteError& unwritable) {
    std::fprintf(stderr, "%s\n", ErrorText(unwritable).c_str());
    return kExitRefused;
  }
  std::error_code error;
  const auto size = std::filesystem::file_size(output, error);
  std::printf("%s: %llu bytes\n", output.c_str(), static_cast<unsigned long long>(size));
  return kExitOk;
}

// Where `build` looks for the template when no --template names one: beside the program, as in
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
  std::string looked;
  for (const std::string& place : places) looked += (looked.empty() ? "" : " and ") + place;
  std::fprintf(stderr, "Unable to locate the template file: looked for %s%s\n", looked.c_str(),
               named ? "" : "; name one with --template PATH");
  return {};
}

// The window's save, run with the -o path as the save dialog's answer; its outcome becomes
// the report and the exit status.
int BuildCommand(int count, char** args) {
  TArguments parsed;
  parsed.output = "winload.exe.mui";
  if (!ParseArguments(count, args, 2, kTakesTemplate, parsed)) return kExitUsage;
  const TModeName* mode = FindMode(parsed.mode);
  if (mode == nullptr) return kExitUsage;
  if (!OutputMayBeWritten(parsed)) return kExitRefused;
  std::string language_file;
  std::string template_path;
  if (parsed.system) {
    language_file = SystemLanguageFile("", "--system-template");
    if (language_file.empty()) return kExitRefused;
  } else {
    const bool named = !parsed.template_path.empty();
    template_path =
        FindTemplate(named ? std::vector{parsed.template_path} : TemplatePlaces(), named);
    if (template_path.empty()) return kExitRefused;
  }
  const std::string& output = parsed.output;
  std::vector<std::string> pictures = parsed.files;

  // --prepare: the two pictures are prepared into a folder of this run's own, which only
  // this user may enter, and which goes when the run ends; the builder then copies them into
  // its working folder like any others. (Its working folder cannot hold them: a save clears
  // it first.)
  struct TPreparedFolder {
    std::string path;
    ~TPreparedFolder() {
      if (!path.empty()) platform::ShellDeleteFolder(path);
    }
  } prepared;
  if (parsed.prepare) {
    prepared.path = platform::CreatePrivateFolder(platform::TemporaryFolder(), "mrvn-prepare-");
    if (prepared.path.empty()) {
      std::fprintf(stderr, "Cannot make a folder for the prepared pictures in %s\n",
                   platform::TemporaryFolder().c_str());
      return kExitRefused;
    }
    for (std::size_t i = 0; i < 2; ++i) {
      const TSlotShape& shape = kSlotShapes[i];
      const std::string target = prepared.path + platform::kPathSeparator +
                                 PreparedFileName(pictures[i], shape);
      try {
        PreparePicture(pictures[i], shape, mode->mode, target);
      } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", ErrorText(error).c_str());
        return kExitRefused;
      }
      pictures[i] = target;
    }
  }

  TConsoleUserInterface ui(output);
  TBootScreenBuilder builder(ui);
  builder.TemplateOverride = template_path;
  builder.TemplateLanguageFile = language_file;
  // Where other users may write into the temporary folder, a fixed folder there could be
  // taken or planted by them: each run works in one of its own.
  if (platform::kTemporaryFolderIsShared) builder.WorkingFolderKind = TWorkingFolder::Private;
  // The working folder is cleared at the start and removed at the end; an output inside it
  // would go with it.
  const std::string work_dir = builder.PlannedWorkDir();
  if (!work_dir.empty() && platform::IsInsideFolder(output, work_dir)) {
    std::fprintf(stderr,
                 "%s lies inside the temporary working directory %s, which every build clears "
                 "and removes; choose another output\n",
                 output.c_str(), work_dir.c_str());
    return kExitRefused;
  }
  TSaveOutcome outcome;
  try {
    builder.LoadBrowsedFile(TSlot::Small, pictures[0]);
    builder.LoadBrowsedFile(TSlot::Big, pictures[1]);
    outcome = builder.SaveBootScreenFileAsClick();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", ErrorText(error).c_str());
    return kExitRefused;
  }
  const auto wim_size = static_cast<unsigned long long>(outcome.wim_size);
  switch (outcome.result) {
    case TSaveResult::Saved:
      std::printf("%s: the WIM takes %llu of the slot's %u bytes (%.1f%%), %llu to spare\n",
                  output.c_str(), wim_size, kSlotSize,
                  100.0 * static_cast<double>(wim_size) / kSlotSize, kSlotSize - wim_size);
      return kExitOk;
    case TSaveResult::CopyFailed:
      std::fprintf(stderr, "%s\n", UnableToWriteMessage(output, outcome.failure).c_str());
      return kExitRefused;
    case TSaveResult::StageFailed:
      if (wim_size > kSlotSize)
        std::fprintf(stderr, "The WIM is %llu bytes over the %u-byte slot.\n", wim_size - kSlotSize,
                     kSlotSize);
      return kExitRefused;
    case TSaveResult::Cancelled:  // never: the console always answers
      break;
  }
  return kExitRefused;
}

// Decodes PICTURE, turns it upright, scales it to the slot and writes a 24-bit bitmap.
int PrepareCommand(int count, char** args) {
  TArguments parsed;
  if (!ParseArguments(count, args, 1, kTakesSlot, parsed)) return kExitUsage;
  const TSlotShape* shape = nullptr;
  for (const TSlotShape& candidate : kSlotShapes)
    if (parsed.slot == candidate.name) shape = &candidate;
  const TModeName* mode = FindMode(parsed.mode);
  if (shape == nullptr || mode == nullptr) return kExitUsage;
  const std::string& source = parsed.files[0];
  if (parsed.output.empty()) parsed.output = PreparedFileName(source, *shape);
  if (!OutputMayBeWritten(parsed)) return kExitRefused;
  TUprightSize upright;
  try {
    upright = PreparePicture(source, *shape, mode->mode, parsed.output);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", ErrorText(error).c_str());
    return kExitRefused;
  }
  std::printf("%s: %dx%d 24-bit bitmap from %s (%dx%d upright, %s)\n", parsed.output.c_str(),
              shape->width, shape->height, source.c_str(), upright.width, upright.height,
              mode->name);
  return kExitOk;
}

// Reads SOURCE, makes the template in memory and only then writes OUT, so that a refused
// source leaves nothing behind.
int TemplateCommand(int count, char** args) {
  TArguments parsed;
  parsed.output = "x86template";
  if (!ParseArguments(count, args, 1, kTakesSystem, parsed)) return kExitUsage;
  if (!OutputMayBeWritten(parsed)) return kExitRefused;
  const std::string source =
      parsed.system ? SystemLanguageFile(parsed.files.empty() ? "" : parsed.files[0], "--system")
                    : parsed.files[0];
  if (source.empty()) return kExitRefused;
  const std::string& output = parsed.output;

  const TDerivedTemplate derived = DeriveLanguageTemplate(source);
  if (!derived.made) {
    std::fprintf(stderr, "%s\n", DerivedTemplateProblem(derived, source).c_str());
    return kExitRefused;
  }
  const module::TLanguageTemplate& made = *derived.made;

  // Whole or not at all: a failed write leaves OUT as it was, be it a file or a folder.
  try {
    platform::WriteFileAtomically(output, made.module.template_bytes);
  } catch (const std::exception& unwritable) {
    std::fprintf(stderr, "%s\n", ErrorText(unwritable).c_str());
    return kExitRefused;
  }
  std::printf("%s: language 0x%04X, %zu resources carried, directory %u of %u bytes\n",
              output.c_str(), made.language, made.carried,
              made.module.directory_end - module::kResourceSectionFileOffset,
              module::kSlotSectionOffset);
  return kExitOk;
}

// help, help COMMAND; -h and --help say the same.
int HelpCommand(int count, char** args) {
  if (count == 0) {
    cli::PrintHelp();
    return kExitOk;
  }
  const cli::TCommandHelp* command = count == 1 ? cli::FindCommandHelp(args[0]) : nullptr;
  if (command == nullptr) {
    cli::PrintUsage(stderr);
    return kExitUsage;
  }
  cli::PrintCommandHelp(*command);
  return kExitOk;
}

bool AsksForHelp(int count, char** args) {
  for (int i = 0; i < count; ++i) {
    const std::string_view arg = args[i];
    if (arg == "-h" || arg == "--help") return true;
  }
  return false;
}

struct TCommand {
  const char* name;
  int (*run)(int count, char** args);
};

constexpr TCommand kCommands[] = {
    {"build", BuildCommand},
    {"check", CheckCommand},
    {"capture", CaptureCommand},
    {"prepare", PrepareCommand},
    {"template", TemplateCommand},
};

// Help goes to standard output with status 0; a wrong command line gets the usage on standard
// error and status 2, the whole of it or, after a known command, that command's line.
int Run(int argc, char** argv) {
  const std::string_view first = argc >= 2 ? argv[1] : "";
  if (first == "--version" && argc == 2) {
    cli::PrintVersion();
    return kExitOk;
  }
  if (first == "help" || first == "-h" || first == "--help") return HelpCommand(argc - 2, argv + 2);
  for (const TCommand& command : kCommands) {
    if (first != command.name) continue;
    const cli::TCommandHelp& help = *cli::FindCommandHelp(command.name);
    if (AsksForHelp(argc - 2, argv + 2)) {
      cli::PrintCommandHelp(help);
      return kExitOk;
    }
    const int status = command.run(argc - 2, argv + 2);
    if (status == kExitUsage)
      std::fprintf(stderr, "usage: marivane-cli %s\n(marivane-cli help %s says more)\n",
                   help.synopsis, help.name);
    return status;
  }
  cli::PrintUsage(stderr);
  return kExitUsage;
}

}  // namespace
}  // namespace marivane

int main(int argc, char** argv) {
  marivane::platform::RemoveLeftoversOnInterrupt();
  wimgapi::LoadWIMGAPI();
  const int status = marivane::Run(argc, argv);
  marivane::platform::RunExitProcs();
  return status;
}
