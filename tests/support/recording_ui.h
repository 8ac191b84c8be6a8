// A user interface that records what the builder shows, for tests to compare.
#pragma once

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
  };

  void ShowMessage(const std::string& text) override { shown.push_back({text, "", 0}); }
  void ShowMessageBox(const std::string& text, const std::string& caption,
                      TMessageIcon icon) override {
    shown.push_back({text, caption, static_cast<int>(icon)});
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const Shown& s : shown) texts.push_back(s.text);
    return texts;
  }

  std::vector<Shown> shown;
};

}  // namespace marivane::test
