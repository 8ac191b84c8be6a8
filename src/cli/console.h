// What the commands share in speaking to the user: the builder's messages on standard error,
// the words for an error the builder or the platform raised, and the steps that several
// commands take the same way (the output's place, the system's language file, the temporary
// folder).
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "builder/user_interface.h"

namespace marivane::cli {

// The builder's messages go to standard error, each on its own line; the carriage returns that
// break a message box's paragraphs become line breaks. Where the window would ask for a save
// path, this answers with the one the command line named: --force has been weighed already. The
// box that ends a save is left out: the command reports the outcome the save returns.
class TConsoleUserInterface final : public TUserInterface {
 public:
  TConsoleUserInterface() = default;
  explicit TConsoleUserInterface(std::string save_path) : save_path_(std::move(save_path)) {}

  void ShowMessage(const std::string& text) override;
  void ShowMessageBox(const std::string& text, const std::string& caption, TMessageIcon) override;
  bool ChooseSavePath(std::string& path) override;
  void ShowSaveOutcome(const std::string&, const std::string&, TMessageIcon) override {}
  void SetBusy(bool) override {}

 private:
  std::string save_path_;
};

// A line on standard error.
void Say(const std::string& text);

// What the tool says for an error the builder or the platform raised: the window's text, but a
// failed write names its file and the system's reason where the window says only "Stream
// write error".
std::string ErrorText(const std::exception& error);

// Whether `output` may be written: anything already there (a link included, even one that
// leads nowhere) only with --force. False after saying why not, also when the system cannot
// even look there.
bool OutputMayBeWritten(const std::string& output, bool force);

// Whether the temporary folder is there, after saying which variable names what, if not.
bool TemporaryFolderFound();

// This installation's language file for `language`, or for the user's interface language when
// it is empty; empty after saying why there is none. `option` is what asked for it.
std::string SystemLanguageFile(const std::string& language, const char* option);

// This installation's boot loader, %windir%\System32\winload.exe; empty after saying why there
// is none. `option` is what asked for it.
std::string SystemBootLoader(const char* option);

}  // namespace marivane::cli
