#include "builder/language_file.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include "base/errors.h"
#include "base/stream.h"
#include "module/module_facts.h"
#include "platform/platform.h"

namespace marivane {

namespace {

// A language file is some tens of kilobytes; anything past this is not one, and reading it
// whole would only cost memory.
constexpr std::uint64_t kMaxSourceSize = 256u << 20;

}  // namespace

TDerivedTemplate DeriveLanguageTemplate(const std::string& path) {
  TDerivedTemplate derived;
  std::vector<std::uint8_t> bytes;
  try {
    const std::unique_ptr<TStream> file = platform::OpenFileForReading(path);
    if (file->Size() > kMaxSourceSize) {
      derived.kind = TTemplateProblem::TooLarge;
      derived.problem =
          std::to_string(file->Size()) + " bytes is far too large for a language file";
      return derived;
    }
    TStreamReader reader(*file);
    bytes = reader.ReadExact(static_cast<std::size_t>(file->Size()));
  } catch (const Exception& unreadable) {
    derived.kind = TTemplateProblem::Unreadable;
    derived.problem = DefaultHandlerText(unreadable.what());
    derived.problem_names_file = true;
    return derived;
  }
  try {
    derived.made = module::BuildLanguageTemplate(bytes);
  } catch (const module::EDirectoryOverflow& overflow) {
    derived.kind = TTemplateProblem::NoRoom;
    derived.problem = "its resources need a directory of " + std::to_string(overflow.needed()) +
                      " bytes, but only " + std::to_string(overflow.available()) +
                      " fit in front of the boot screen slot";
  } catch (const module::ENoBootScreen& none) {
    derived.kind = TTemplateProblem::NoBootScreen;
    derived.problem = none.what();
  } catch (const module::EModuleError& refused) {
    // The reader's refusals, or the writer's own (a data size past 2 GiB).
    derived.kind = TTemplateProblem::NotALanguageFile;
    derived.problem = refused.what();
  }
  return derived;
}

bool IsLanguageFileFromElsewhere(const std::string& path) {
  try {
    const std::unique_ptr<TStream> file = platform::OpenFileForReading(path);
    if (file->Size() > kMaxSourceSize) return false;
    TStreamReader reader(*file);
    const std::vector<std::uint8_t> bytes = reader.ReadExact(static_cast<std::size_t>(file->Size()));
    const module::TModuleFacts facts = module::ReadModuleFacts(bytes, module::TModuleKind::kResourceOnly);
    return facts.boot_screen && !facts.boot_screen->in_slot;
  } catch (const Exception&) {
    return false;
  }
}

std::string DerivedTemplateProblem(const TDerivedTemplate& derived, const std::string& path) {
  return derived.problem_names_file ? derived.problem : path + ": " + derived.problem;
}

}  // namespace marivane
