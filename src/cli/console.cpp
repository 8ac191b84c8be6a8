#include "cli/console.h"

#include <cstdio>

#include "base/errors.h"
#include "cli/cli_texts.h"
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
  Say(OutputExistsMessage(output));
  return false;
}

bool TemporaryFolderFound() {
  const std::string folder = platform::TemporaryFolder();
  if (platform::DirectoryExists(folder)) return true;
  // The window's words, then what the user can mend.
  const char* variable = platform::TemporaryFolderVariable();
  std::string where;
  if (variable == nullptr)
    where = NoTempVariableText(folder);
  else if (folder.empty())
    where = TempVariableUnsetText(variable);
  else
    where = TempVariableNoFolderText(variable, folder);
  Say(kNoTempFolderMessageStart + where);
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
    Say(NoSystemLanguageFileMessage(option));
    return "";
  }
  const std::string name = language.empty() ? platform::InstallLanguageName() : language;
  if (name.empty()) {
    Say(NoInstallLanguageMessage(option));
    return "";
  }
  const std::string path = platform::SystemLanguageFilePath(name);
  if (path.empty()) {
    Say(NotALanguageNameMessage(name));
    return "";
  }
  if (platform::DirectoryExists(path)) {
    Say(LanguageFileIsFolderMessage(path));
    return "";
  }
  if (!SomethingAt(path)) {
    Say(NoLanguageFileMessage(path, name));
    return "";
  }
  return path;
}

std::string SystemBootLoader(const char* option) {
  const std::string path = platform::SystemBootLoaderPath();
  if (path.empty()) {
    Say(NoSystemBootLoaderMessage(option));
    return "";
  }
  if (!SomethingAt(path)) {
    Say(NoBootLoaderMessage(path));
    return "";
  }
  return path;
}

}  // namespace marivane::cli
