#include "builder/language_file.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include "base/errors.h"
#include "base/hex_text.h"
#include "base/stream.h"
#include "module/module_facts.h"
#include "platform/platform.h"
#include "platform/system_languages.h"

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

std::string TTemplateChoice::Description() const {
  if (BuiltIn()) return "en-US, built-in template (x86template beside the program)";
  if (!problem.empty()) return path;
  return DescriptionLead() + path;
}

std::string TTemplateChoice::DescriptionLead() const {
  return language + (name.empty() ? "" : ", " + name) + ", from ";
}

std::string TTemplateChoice::Reason() const {
  switch (problem_kind) {
    case TTemplateProblem::None: return "";
    case TTemplateProblem::Unreadable: return "the file cannot be read";
    case TTemplateProblem::TooLarge: return "it is far too large for a language file";
    case TTemplateProblem::NotALanguageFile:
      return "it is not a boot loader language file, or it is damaged";
    case TTemplateProblem::NoBootScreen: return "it holds no boot screen to replace";
    case TTemplateProblem::NoRoom: return "its other contents leave no room for the pictures";
  }
  return problem;
}

TTemplateChoice DescribeLanguageFile(const std::string& path) {
  TTemplateChoice choice;
  choice.path = path;
  const TDerivedTemplate derived = DeriveLanguageTemplate(path);
  if (!derived.made) {
    choice.problem = derived.problem;
    choice.detail = DerivedTemplateProblem(derived, path);
    choice.problem_kind = derived.kind;
    return choice;
  }
  choice.language = platform::LanguageFolderName(derived.made->language);
  if (choice.language.empty()) choice.language = HexNumber(derived.made->language, 4);
  choice.name = platform::LanguageDisplayName(derived.made->language);
  return choice;
}

}  // namespace marivane
