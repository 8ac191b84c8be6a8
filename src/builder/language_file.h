// A template derived from a language file (the system's own winload.exe.mui, or a copy of it):
// read whole, checked by the resource reader and laid out by BuildLanguageTemplate. The window,
// its template dialog and `marivane-cli template` all come here, so that they accept and
// refuse the same files with the same words.
#pragma once

#include <optional>
#include <string>

#include "module/language_template.h"

namespace marivane {

// Why a file cannot serve, for a front end that says it in a user's words.
enum class TTemplateProblem {
  None,
  Unreadable,        // the file cannot be opened or read
  TooLarge,          // far past any language file's size
  NotALanguageFile,  // not a resource-only module, or a damaged one
  NoBootScreen,      // a language file without the boot screen to replace
  NoRoom,            // its other resources leave the pictures no room
};

struct TDerivedTemplate {
  std::optional<module::TLanguageTemplate> made;  // absent when the file cannot serve
  TTemplateProblem kind = TTemplateProblem::None;
  // Why it cannot, in a few words: "the module has no RCDATA resource named 1 (no boot
  // screen)". An unreadable file's text names the file itself; the others do not.
  std::string problem;
  bool problem_names_file = false;
};

TDerivedTemplate DeriveLanguageTemplate(const std::string& path);

// Whether `path` is a language file with its boot screen where a language file from elsewhere
// has it (Vista's own, or a copy of it), rather than a template or a boot screen file laid out
// for the builder's slot: spliced as it stands it would come out damaged, so it is made into a
// template first. False for anything that cannot be read as a language file.
bool IsLanguageFileFromElsewhere(const std::string& path);

// The problem with the file's name in front, unless it names the file already.
std::string DerivedTemplateProblem(const TDerivedTemplate& derived, const std::string& path);

// One template the user may build from, as a front end lists and names it.
struct TTemplateChoice {
  std::string path;      // the language file; empty for the built-in x86template
  std::string folder;    // the System32 language folder it lies in, "de-DE"; else empty
  std::string language;  // the file's own language as a folder name; empty when it cannot serve
  std::string name;      // the file's language as the user reads it, "German (Germany)"
  std::string problem;   // why it cannot serve, as the reader says it; empty when it can
  std::string detail;    // the same with the file named, for a tooltip
  TTemplateProblem problem_kind = TTemplateProblem::None;

  bool BuiltIn() const { return path.empty(); }
  // What is said of a file that serves: "de-DE, German (Germany), from C:\...".
  std::string Description() const;
  // The same up to its path, "de-DE, German (Germany), from ", for a front end that shortens
  // the path to the room it has.
  std::string DescriptionLead() const;
  // Why it cannot serve, in a user's words: "it holds no boot screen to replace".
  std::string Reason() const;
};

// Reads the language file and says whether and in which language it serves.
TTemplateChoice DescribeLanguageFile(const std::string& path);

}  // namespace marivane
