// check FILE...: one line per file, what was loaded and whether each slot would take it, or the
// error the window's default handler would show.
#include <cstdio>
#include <exception>

#include "base/errors.h"
#include "builder/boot_screen_builder.h"
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
      std::printf("%s: error: %s%s\n", path.c_str(), DefaultHandlerText(error.what()).c_str(),
                  photo.empty() ? "" : ("; it is a " + photo + " picture, which marivane-cli "
                                        "prepare turns into a bitmap for a slot").c_str());
      status = kExitRefused;
      continue;
    }
    std::printf("%s: %s small=%s big=%s\n", path.c_str(), Description(picture).c_str(),
                FitsSlot(picture, TSlot::Small) ? "valid" : "rejected",
                FitsSlot(picture, TSlot::Big) ? "valid" : "rejected");
  }
  return status;
}

}  // namespace

const TCommand kCheckCommand{.name = "check", .options = {}, .min_files = 1,
                             .max_files = kAnyNumber, .files = "FILE...", .run = Check};

}  // namespace marivane::cli
