// template {SOURCE.mui | --system [LANGUAGE]}: a template made from a system's own language
// file. The source is read and the template made in memory before OUT is looked at or
// written, so that a source that cannot serve is said first and leaves nothing behind.
#include <cstdio>
#include <exception>

#include "base/errors.h"
#include "base/hex_text.h"
#include "builder/language_file.h"
#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "module/template_layout.h"
#include "platform/file_replacement.h"
#include "platform/system_languages.h"

namespace marivane::cli {
namespace {

constexpr TOption kOptions[] = {
    kOutputOption,
    kForceOption,
    {.name = "--system", .files_optional = true},  // LANGUAGE, if any, in SOURCE's place
};

// "en-US (0x0409)", or the id alone for a language the system does not name.
std::string LanguageText(std::uint16_t language) {
  const std::string id = HexNumber(language, 4);
  const std::string name = platform::LanguageFolderName(language);
  return name.empty() ? id : name + " (" + id + ")";
}

int Template(const TArguments& arguments) {
  std::string source = arguments.files.empty() ? "" : arguments.files[0];
  if (arguments.Has("--system")) {
    source = SystemLanguageFile(source, "--system");  // what was given is LANGUAGE
    if (source.empty()) return kExitRefused;
  }
  const TDerivedTemplate derived = DeriveLanguageTemplate(source);
  if (!derived.made) {
    Say(DerivedTemplateProblem(derived, source));
    return kExitRefused;
  }
  const module::TLanguageTemplate& made = *derived.made;

  const std::string output = arguments.Value("-o", "x86template");
  if (!OutputMayBeWritten(output, arguments.Has("--force"))) return kExitRefused;
  // Whole or not at all: a failed write leaves OUT as it was, be it a file or a folder.
  try {
    platform::WriteFileAtomically(output, made.module.template_bytes);
  } catch (const Exception& unwritable) {
    Say(ErrorText(unwritable));
    return kExitRefused;
  }
  std::printf("%s\n", TemplateLine(output, LanguageText(made.language), made.carried,
                                   made.module.directory_end - module::kResourceSectionFileOffset,
                                   module::kSlotSectionOffset)
                         .c_str());
  return kExitOk;
}

}  // namespace

const TCommand kTemplateCommand{.name = "template", .options = kOptions, .min_files = 1,
                                .max_files = 1, .files = "SOURCE.mui, or --system [LANGUAGE]",
                                .run = Template};

}  // namespace marivane::cli
