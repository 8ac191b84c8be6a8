// extract FILE [-o DIR] [--force]: the two pictures of a boot screen file, byte for byte as its
// archive holds them, written as osload800x600.bmp and osload1024x768.bmp.
#include <cstdio>
#include <exception>
#include <string>
#include <system_error>
#include <thread>

#include "base/errors.h"
#include "builder/boot_screen_inspection.h"
#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "platform/file_replacement.h"
#include "platform/platform.h"

namespace marivane::cli {
namespace {

constexpr TOption kOptions[] = {
    {.name = "-o", .value = "DIR"},
    kForceOption,
};

std::string InFolder(const std::string& folder, const char* name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  const bool ends_in_separator = last == '/' || last == platform::kPathSeparator;
  return folder + (ends_in_separator ? "" : std::string(1, platform::kPathSeparator)) + name;
}

int Extract(const TArguments& arguments) {
  const std::string& path = arguments.files[0];
  const std::string folder = arguments.Value("-o");
  if (!folder.empty() && !platform::DirectoryExists(folder)) {
    Say(NotAFolderForOutputMessage(folder));
    return kExitRefused;
  }
  TBootScreenInspection inspection;
  try {
    inspection = InspectBootScreenFile(path);
  } catch (const Exception& unreadable) {
    Say(ErrorText(unreadable));
    return kExitRefused;
  }
  const TFinding* problem = inspection.FirstProblem();
  const std::string verdict = std::string(VerdictName(inspection.verdict)) +
                              (problem ? ": " + problem->words : "");
  if (!inspection.HasPictures()) {
    Say(NothingExtractedMessage(path, verdict, problem ? problem->detail : std::string()));
    return kExitRefused;
  }

  const std::string outputs[] = {InFolder(folder, kSmallPictureName),
                                 InFolder(folder, kBigPictureName)};
  // Both places are looked at before either picture is written.
  for (const std::string& output : outputs)
    if (!OutputMayBeWritten(output, arguments.Has("--force"))) return kExitRefused;
  const std::vector<std::uint8_t>* pictures[] = {&inspection.small_picture, &inspection.big_picture};
  // Both at once: most of a write's time is the wait for the disk to confirm it.
  std::exception_ptr failed[2];
  const auto write = [&](int i) {
    try {
      platform::WriteFileAtomically(outputs[i], *pictures[i]);
    } catch (...) {
      failed[i] = std::current_exception();
    }
  };
  {
    std::thread small;
    try {
      small = std::thread(write, 0);
    } catch (const std::system_error&) {
      write(0);  // no thread to be had: one after the other
    }
    write(1);
    if (small.joinable()) small.join();
  }
  for (int i = 0; i < 2; ++i) {
    if (!failed[i]) continue;
    try {
      std::rethrow_exception(failed[i]);
    } catch (const Exception& unwritable) {
      Say(ErrorText(unwritable) + (failed[1 - i] ? "" : OtherWrittenEnd(outputs[1 - i])));
    }
    return kExitRefused;
  }
  for (int i = 0; i < 2; ++i)
    std::printf("%s\n", BytesWrittenLine(outputs[i], pictures[i]->size()).c_str());
  // The pictures were read whole and matched their checksums, but the file is not one to
  // install as it is.
  if (inspection.verdict != TBootScreenVerdict::Good) Say(NotGoodFileMessage(path, verdict));
  return kExitOk;
}

}  // namespace

const TCommand kExtractCommand{.name = "extract", .options = kOptions, .min_files = 1,
                               .max_files = 1, .files = "FILE", .run = Extract};

}  // namespace marivane::cli
