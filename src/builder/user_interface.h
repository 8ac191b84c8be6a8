// How the builder speaks to the user: the window answers with message boxes, the command-line
// tool with its output, the tests with a recorder.
#pragma once

#include <string>

#include "base/owned.h"

namespace marivane {

enum class TMessageIcon { Error = 0x10, Information = 0x40 };

class TUserInterface {
 public:
  virtual ~TUserInterface() = default;
  // A plain message: the application title as caption, no icon, one OK button.
  virtual void ShowMessage(const std::string& text) = 0;
  // The system's message box with its own caption and icon.
  virtual void ShowMessageBox(const std::string& text, const std::string& caption,
                              TMessageIcon icon) = 0;
  // The save dialog, proposing winload.exe.mui and asking before it replaces a file. False
  // when the user cancels.
  virtual bool ChooseSavePath(std::string& path) = 0;
  // The box that ends a save once its file was written or could not be. The save returns the
  // same outcome, so a front end that reports it in words of its own may leave the box out.
  virtual void ShowSaveOutcome(const std::string& text, const std::string& caption,
                               TMessageIcon icon) {
    ShowMessageBox(text, caption, icon);
  }
  // The busy cursor while a save runs; false restores the cursor that was there before.
  virtual void SetBusy(bool busy) = 0;
};

// The busy cursor for as long as it lives: it comes back on every way out, an exception
// included.
class TBusyScope : TNonCopyable {
 public:
  explicit TBusyScope(TUserInterface& ui) : ui_(ui) { ui_.SetBusy(true); }
  ~TBusyScope() { ui_.SetBusy(false); }

 private:
  TUserInterface& ui_;
};

}  // namespace marivane
