// The program's entry, in its fixed order: the module initialisations (the imaging library
// among them), the application object, the main window, the hidden about window, the message
// loop; then the exit procedures.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace marivane::ui {

class TForm1;
class TAboutForm;

using TInitialisation = void (*)();

struct TProgramOptions {
  // Run in order before any window exists; an error raised by one is fatal.
  std::vector<TInitialisation> initialisations = DefaultInitialisations();
  // Called once both windows exist, before the loop; tests put their seams in here.
  std::function<void(TForm1&, TAboutForm&)> forms_created;

  static std::vector<TInitialisation> DefaultInitialisations();
};

inline constexpr int kFatalStartupExitCode = 217;

// Runs the program and returns its exit code: 0, or 217 after a fatal start-up failure.
int RunProgram(HINSTANCE instance, int show_command, const TProgramOptions& options = {});

// "Runtime error 217 at 0040A1B2"
std::string RuntimeErrorText(int code, std::uintptr_t address);

}  // namespace marivane::ui
