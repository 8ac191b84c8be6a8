// mktemplate OUT: writes x86template, the module the boot screen builder splices its WIM into.
// The output depends on nothing but this program's sources, so every build writes the same
// bytes. Runs on the build machine, also when the program itself is cross-compiled.
#include <cstdio>
#include <exception>

#include "module/boot_template.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mktemplate OUT\n");
    return 2;
  }
  try {
    const marivane::module::TSlotModule module = marivane::module::BuildBootTemplate();
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
      std::perror(argv[1]);
      return 1;
    }
    const std::size_t written =
        std::fwrite(module.template_bytes.data(), 1, module.template_bytes.size(), file);
    // A full disk may only show at fclose, when the buffer is flushed.
    if (std::fclose(file) != 0 || written != module.template_bytes.size()) {
      std::perror(argv[1]);
      std::remove(argv[1]);
      return 1;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "mktemplate: %s\n", error.what());
    std::remove(argv[1]);
    return 1;
  }
  return 0;
}
