// check FILE...: one line per file, what was loaded and whether each slot would take it, or the
// error the window's default handler would show.
#include <cstdio>
#include <exception>

#include "base/errors.h"
#include "builder/boot_screen_builder.h"
#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/pictures.h"

namespace marivane::cli {
namespace {

int Check(const TArguments& arguments) {
  int status = kExitOk;
  for (const std::string& path : arguments.files) {
    TPicture picture;
    try {
      LoadPictureFile(picture, path);
    } catch (const Exception& error) {
      const std::string photo = PhotoKind(path);
      std::printf("%s\n", CheckErrorLine(path, DefaultHandlerText(error.what()), photo).c_str());
      status = kExitRefused;
      continue;
    }
    std::printf("%s\n", CheckLine(path, Description(picture), FitsSlot(picture, TSlot::Small),
                                 FitsSlot(picture, TSlot::Big))
                           .c_str());
  }
  return status;
}

}  // namespace

const TCommand kCheckCommand{.name = "check", .options = {}, .min_files = 1,
                             .max_files = kAnyNumber, .files = "FILE...", .run = Check};

}  // namespace marivane::cli
