// A user interface that records what the builder shows, for tests to compare.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "builder/user_interface.h"

namespace marivane::test {

class RecordingUserInterface final : public TUserInterface {
 public:
  struct Shown {
    std::string text;
    std::string caption;  // empty for a plain message
    int icon = 0;
    bool operator==(const Shown&) const = default;
    friend void PrintTo(const Shown& s, std::ostream* os) { *os << "[" << s.caption << "] " << s.text; }
  };

  void ShowMessage(const std::string& text) override { shown.push_back({text, "", 0}); }
  void ShowMessageBox(const std::string& text, const std::string& caption,
                      TMessageIcon icon) override {
    shown.push_back({text, caption, static_cast<int>(icon)});
  }
  bool ChooseSavePath(std::string& path) override {
    ++save_dialogs;
    if (save_answer.empty()) return false;
    path = save_answer;
    return true;
  }
  void SetBusy(bool busy) override { busy_changes.push_back(busy); }

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const Shown& s : shown) texts.push_back(s.text);
    return texts;
  }

  std::vector<Shown> shown;
  std::string save_answer;  // empty: the user cancels the save dialog
  int save_dialogs = 0;
  std::vector<bool> busy_changes;
};

}  // namespace marivane::test
