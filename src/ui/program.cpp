#include "ui/program.h"

#include <commctrl.h>

#include <bit>
#include <cstdio>
#include <memory>

#include "platform/exit_procs.h"
#include "platform/wimgapi.h"
#include "ui/application.h"
#include "ui/unit1.h"
#include "ui/unit3.h"

namespace marivane::ui {
namespace {

void InitialiseCommonControls() {
  // The themed buttons that the manifest asks for come from version 6 of the common
  // controls, which older systems load only when asked.
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
}

int FatalStartupFailure(std::uintptr_t address) {
  // What was initialised is taken down again, and the failure is not shown with its own
  // text: one box with the run-time error and where it happened.
  platform::RunExitProcs();
  MessageBoxA(nullptr, RuntimeErrorText(kFatalStartupExitCode, address).c_str(), "Error", MB_OK);
  return kFatalStartupExitCode;
}

}  // namespace

std::vector<TInitialisation> TProgramOptions::DefaultInitialisations() {
  return {InitialiseCommonControls, wimgapi::LoadWIMGAPI};
}

std::string RuntimeErrorText(int code, std::uintptr_t address) {
  char text[48];
  std::snprintf(text, sizeof(text), "Runtime error %3d at %08X", code,
                static_cast<unsigned>(address));
  return text;
}

int RunProgram(HINSTANCE instance, int show_command, const TProgramOptions& options) {
  std::unique_ptr<TApplication> application;
  // The address reported for a failure is that of the initialisation that raised it.
  std::uintptr_t failing = std::bit_cast<std::uintptr_t>(&RunProgram);
  try {
    for (TInitialisation initialise : options.initialisations) {
      failing = std::bit_cast<std::uintptr_t>(initialise);
      initialise();
    }
    failing = std::bit_cast<std::uintptr_t>(&RunProgram);
    application = std::make_unique<TApplication>(instance);
    application->SetTitle("Marivane");
    application->SetShowCommand(show_command);
    TForm1& main = application->CreateForm<TForm1>();
    TAboutForm& about = application->CreateForm<TAboutForm>();
    if (options.forms_created) options.forms_created(main, about);
  } catch (...) {
    application.reset();
    return FatalStartupFailure(failing);
  }
  application->Run();
  // The application's own exit procedure, installed last, destroys the windows; then the
  // imaging library goes.
  platform::RunExitProcs();
  return 0;
}

}  // namespace marivane::ui
