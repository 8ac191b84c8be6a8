// The program's windows, made in the test process as the program makes them, with the seams
// set so that nothing leaves the test: no host test, the template from bin/, TEMP private.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "dialog_driver.h"
#include "support/environment.h"
#include "support/test_files.h"
#include "ui/application.h"
#include "ui/unit1.h"
#include "ui/unit3.h"

namespace marivane::test {

inline void PrintTo(const TSeenWindow& w, std::ostream* os) {
  *os << "[" << w.window_class << " \"" << w.caption << "\" icon " << static_cast<int>(w.icon)
      << (w.unexpected ? " unexpected" : "") << (w.stuck ? " stuck" : "") << "] " << w.text;
}

// A plain message: the program's title, no icon.
MATCHER_P(PlainMessage, text, "") {
  return arg.window_class == "#32770" && arg.caption == "Marivane" && arg.icon == TIcon::None &&
         arg.text == std::string(text) && !arg.unexpected && !arg.stuck;
}
// A titled message box.
MATCHER_P3(MessageBoxOf, text, caption, icon, "") {
  return arg.window_class == "#32770" && arg.caption == std::string(caption) &&
         arg.icon == icon && arg.text == std::string(text) && !arg.unexpected && !arg.stuck;
}
// The default handler's box for an error of this text.
MATCHER_P(ErrorBox, text, "") {
  return arg.caption == "Marivane" && arg.icon == TIcon::Error && arg.text == std::string(text) &&
         !arg.unexpected && !arg.stuck;
}

// One line for a script that runs a test: a marker, then the text with its line breaks spelled
// out.
inline void Report(const char* what, std::string text) {
  for (const auto& [from, to] : {std::pair{"\r", "\\r"}, {"\n", "\\n"}})
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 2))
      text.replace(at, 1, to);
  std::printf("@@ %s %s\n", what, text.c_str());
  std::fflush(stdout);
}

class Windows : public ::testing::Test {
 protected:
  void SetUp() override {
    BindImagingLibrary();
    std::filesystem::create_directory(dir_.path() / "temp");
    temp_.emplace("TEMP", dir_.PathOf("temp"));
    application_ = std::make_unique<ui::TApplication>(GetModuleHandleA(nullptr));
    application_->SetTitle("Marivane");
    form_ = &application_->CreateForm<ui::TForm1>();
    about_ = &application_->CreateForm<ui::TAboutForm>();
    form_->host_is_wow64 = [] { return false; };
    form_->TemplateOverride = BinFolder() + "x86template";
  }
  void TearDown() override {
    application_.reset();
    MSG quit;
    PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  }

  void ShowMain() {
    form_->Show();
    Pump(30);
  }
  void Command(UINT id) { SendMessageA(form_->Handle(), WM_COMMAND, id, 0); }
  void Drop(HWND target, HDROP drop) {
    SendMessageA(target, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  }
  bool QuitPosted() {
    MSG quit;
    return PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
  }

  TempDir dir_;
  std::optional<ScopedEnvironment> temp_;
  std::unique_ptr<ui::TApplication> application_;
  ui::TForm1* form_ = nullptr;
  ui::TAboutForm* about_ = nullptr;
};

}  // namespace marivane::test
