// capture FOLDER OUT.wim: the imaging library's capture as a save calls it, into a WIM that
// takes OUT's place only once it is complete.
#include <cstdio>
#include <filesystem>
#include <optional>

#include "base/errors.h"
#include "builder/wim_capture.h"
#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "platform/file_replacement.h"
#include "platform/platform.h"

namespace marivane::cli {
namespace {

// Whether `output` would lie inside `folder`, whatever links or spellings lead there: a WIM
// written inside the folder it captures would take itself in as it grows. The folder that
// holds the output is asked about, not the output: a link in the captured folder is replaced
// by the new file, not followed.
bool LiesInside(const std::string& output, const std::string& folder) {
  std::error_code error;
  const std::filesystem::path holder = std::filesystem::absolute(output, error).parent_path();
  return !error && platform::IsInsideFolder(holder.string(), folder);
}

int Capture(const TArguments& arguments) {
  const std::string& folder = arguments.files[0];
  const std::string& output = arguments.files[1];
  if (LiesInside(output, folder)) {
    Say(OutputInCapturedFolderMessage(output, folder));
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
    Say(ErrorText(unwritable));
    return kExitRefused;
  }
  wim->Close();
  if (!CaptureFolderToWim(folder, wim->TemporaryPath(), ui)) return kExitRefused;
  try {
    wim->Commit();
  } catch (const EWriteError& unwritable) {
    Say(ErrorText(unwritable));
    return kExitRefused;
  }
  std::error_code error;
  const auto size = std::filesystem::file_size(output, error);
  std::printf("%s\n", BytesWrittenLine(output, size).c_str());
  return kExitOk;
}

}  // namespace

const TCommand kCaptureCommand{.name = "capture", .options = {}, .min_files = 2, .max_files = 2,
                               .files = "FOLDER OUT.wim", .run = Capture};

}  // namespace marivane::cli
