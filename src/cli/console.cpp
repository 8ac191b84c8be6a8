#include "cli/console.h"

#include <cstdio>

#include "base/errors.h"
#include "platform/platform.h"
#include "platform/system_languages.h"

namespace marivane::cli {

void TConsoleUserInterface::ShowMessage(const std::string& text) {
  std::string lines = text;
  for (char& c : lines)
    if (c == '\r') c = '\n';
  Say(lines);
}

void TConsoleUserInterface::ShowMessageBox(const std::string& text, const std::string& caption,
                                           TMessageIcon) {
  ShowMessage(caption + ": " + text);
}

bool TConsoleUserInterface::ChooseSavePath(std::string& path) {
  path = save_path_;
  return true;
}

void Say(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

std::string ErrorText(const std::exception& error) {
  const auto* unwritable = dynamic_cast<const EWriteError*>(&error);
  if (unwritable != nullptr && !unwritable->path().empty())
    return UnableToWriteMessage(unwritable->path(), unwritable->reason());
  return DefaultHandlerText(error.what());
}

bool OutputMayBeWritten(const std::string& output, bool force) {
  try {
    if (force || !platform::EntryExists(output)) return true;
  } catch (const EWriteError& unexaminable) {
    Say(ErrorText(unexaminable));
    return false;
  }
  Say(output + " exists already; add --force to replace it");
  return false;
}

bool TemporaryFolderFound() {
  const std::string folder = platform::TemporaryFolder();
  if (platform::DirectoryExists(folder)) return true;
  // The window's words, then what the user can mend.
  const char* variable = platform::TemporaryFolderVariable();
  std::string where;
  if (variable == nullptr)
    where = "Neither TEMP nor TMPDIR is set, and " + folder + " is not a folder.";
  else if (folder.empty())
    where = std::string(variable) + " is not set.";
  else
    where = std::string(variable) + " is " + folder + ", which is not a folder.";
  Say("A valid temporary path could not be found!  " + where);
  return false;
}

namespace {

// Whether anything lies at `path`. One the system cannot even look at (Wine says so of a named
// pipe) is there all the same: reading it says what is wrong with it.
bool SomethingAt(const std::string& path) {
  try {
    return platform::EntryExists(path);
  } catch (const EWriteError&) {
    return true;
  }
}

}  // namespace

std::string SystemLanguageFile(const std::string& language, const char* option) {
  if (!platform::kHasSystemLanguageFiles) {
    Say(std::string(option) +
        " reads the language file of the Windows it runs on "
        "(%windir%\\System32\\LANGUAGE\\winload.exe.mui), and so needs Windows. Name the file "
        "instead: marivane-cli template SOURCE (a mounted Windows partition's "
        "Windows/System32/LANGUAGE/winload.exe.mui serves), then build --template with its "
        "output");
    return "";
  }
  const std::string name = language.empty() ? platform::InstallLanguageName() : language;
  if (name.empty()) {
    Say("The system does not say which language Windows was installed in; name one: " +
        std::string(option) + " de-DE");
    return "";
  }
  const std::string path = platform::SystemLanguageFilePath(name);
  if (path.empty()) {
    Say(name + " is not a language name such as de-DE");
    return "";
  }
  if (platform::DirectoryExists(path)) {
    Say(path + " is a folder, not a language file");
    return "";
  }
  if (!SomethingAt(path)) {
    Say(path + ": there is no such file; this Windows has no language file for " + name);
    return "";
  }
  return path;
}

std::string SystemBootLoader(const char* option) {
  const std::string path = platform::SystemBootLoaderPath();
  if (path.empty()) {
    Say(std::string(option) +
        " reads the boot loader of the Windows it runs on (%windir%\\System32\\winload.exe), "
        "and so needs Windows. Name the file instead: --against WINLOAD.EXE (a mounted Windows "
        "partition's Windows/System32/winload.exe serves)");
    return "";
  }
  if (!SomethingAt(path)) {
    Say(path + ": there is no such file; this Windows has no boot loader there");
    return "";
  }
  return path;
}

}  // namespace marivane::cli
