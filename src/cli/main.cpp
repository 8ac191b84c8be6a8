// marivane-cli: the builder from a command line, for checking pictures before building.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "builder/errors.h"
#include "builder/picture.h"
#include "builder/slots.h"
#include "platform/wimgapi.h"

namespace marivane {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: marivane-cli check FILE...\n"
    "  check  load each picture as the window would and say whether it fits either slot\n";

// Messages of the builder go to standard error, each on its own line.
class TConsoleUserInterface final : public TUserInterface {
 public:
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  void ShowMessageBox(const std::string& text, const std::string& caption, TMessageIcon) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
};

// One line per file: what was loaded and whether each slot would take it, or the error the
// window's default handler would show.
int CheckCommand(int count, char** files) {
  if (count == 0) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  TConsoleUserInterface ui;
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
    TBootScreenBuilder slots(ui);
    slots.ImageSmall = picture;
    slots.ImageBig = picture;
    std::printf("%s: %s small=%s big=%s\n", path.c_str(), description.c_str(),
                slots.IsSmallImageValid() ? "valid" : "rejected",
                slots.IsBigImageValid() ? "valid" : "rejected");
  }
  return status;
}

}  // namespace
}  // namespace marivane

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "check") == 0) return marivane::CheckCommand(argc - 2, argv + 2);
  std::fputs(marivane::kUsage, stderr);
  return marivane::kExitUsage;
}
