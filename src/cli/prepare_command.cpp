// prepare PICTURE --slot SLOT: any picture decoded, turned upright, scaled to the slot and
// written as a 24-bit bitmap the slot takes.
#include <cstdio>
#include <exception>

#include "base/errors.h"
#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/pictures.h"

namespace marivane::cli {
namespace {

constexpr TOption kOptions[] = {
    {.name = "--slot", .value = "SLOT", .allowed = kSlotNames, .required = true},
    {.name = "--mode", .value = "MODE", .allowed = kModeNames},
    kOutputOption,
    kForceOption,
};

int Prepare(const TArguments& arguments) {
  const std::string& source = arguments.files[0];
  const TSlot slot = SlotNamed(arguments.Value("--slot"));
  const std::string mode = arguments.Value("--mode", "fill");
  std::string output = arguments.Value("-o");
  if (output.empty()) output = PreparedFileName(source, slot);
  if (!OutputMayBeWritten(output, arguments.Has("--force"))) return kExitRefused;
  TSize upright;
  try {
    upright = PreparePicture(source, slot, ModeNamed(mode), output);
  } catch (const Exception& error) {
    Say(ErrorText(error));
    return kExitRefused;
  }
  const TSize size = SlotSize(slot);
  std::printf("%s\n", PreparedLine(output, size.width, size.height, source, upright.width,
                                   upright.height, mode)
                         .c_str());
  return kExitOk;
}

}  // namespace

const TCommand kPrepareCommand{.name = "prepare", .options = kOptions, .min_files = 1,
                               .max_files = 1, .files = "PICTURE", .run = Prepare};

}  // namespace marivane::cli
