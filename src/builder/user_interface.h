// How the builder speaks to the user: the window answers with message boxes, the command-line
// tool with its output, the tests with a recorder.
#pragma once

#include <string>

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
};

}  // namespace marivane
