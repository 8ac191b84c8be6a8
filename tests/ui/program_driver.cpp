// program_driver CHECK PROGRAM: starts the real marivane.exe and checks from outside how it
// comes up, then that it ends by itself with exit code 0.
//   warns-on-64bit  it must be running on 64-bit Windows (a 64-bit Wine prefix): the warning
//                   box with its caption and text, answered with OK, and the program ends
//   opens           the main window comes up, with no other window before it, and ends the
//                   program when it is closed
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr char kCaption[] = "Windows x64 Edition Detected";
constexpr char kText[] =
    "This version of Marivane cannot currently generate boot screens for x64 editions of "
    "Vista.\r\rDo not attempt to install x86 boot screens in this version of Windows "
    "otherwise you will cause your system to become unbootable!";
constexpr char kMainWindowClass[] = "TForm1";
constexpr char kMainWindowCaption[] = "Marivane";
constexpr char kDialogClass[] = "#32770";  // message boxes among them

std::string Text(HWND window) {
  char text[1024] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ClassName(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// The window a check waits for: the warning by its caption (the main window may be up behind
// it); or the main window, or any box that comes up instead of it.
struct Search {
  DWORD process_id;
  bool warning;
  HWND found;
};

BOOL CALLBACK FindWindowOfProcess(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->process_id) return TRUE;
  const bool wanted = search->warning ? Text(window) == kCaption
                                      : IsWindowVisible(window) &&
                                            (ClassName(window) == kMainWindowClass ||
                                             ClassName(window) == kDialogClass);
  if (wanted) search->found = window;
  return !wanted;
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "program_driver: %s\n", what.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string check = argc == 3 ? argv[1] : "";
  if (check != "warns-on-64bit" && check != "opens")
    return Fail("usage: program_driver warns-on-64bit|opens PROGRAM");
  BOOL wow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &wow64) || (wow64 != 0) != (check == "warns-on-64bit"))
    return Fail("this prefix is not what the check needs (64-bit for the warning, else 32-bit)");

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string command = std::string("\"") + argv[2] + "\"";
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return Fail("cannot start the program");

  Search search{process.dwProcessId, check == "warns-on-64bit", nullptr};
  for (int i = 0; i < 300 && search.found == nullptr; ++i) {
    Sleep(100);
    EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&search));
  }
  if (search.found == nullptr) {
    TerminateProcess(process.hProcess, 99);
    return Fail(search.warning ? "no warning box appeared" : "no window appeared");
  }

  int status = 0;
  if (check == "warns-on-64bit") {
    // The message box's text is the static control with id 0xFFFF. Its icon cannot be
    // compared from another process (Wine hands each process its own handle for the system's
    // icons); the in-process window tests check it.
    char text[1024] = {};
    GetDlgItemTextA(search.found, 0xFFFF, text, sizeof text);
    if (std::string(text) != kText) status = Fail("the warning's text differs");
    PostMessageA(search.found, WM_COMMAND, IDOK, 0);
  } else {
    // A box in its place (a failed start-up, say) is what a user would be left with.
    if (ClassName(search.found) != kMainWindowClass || Text(search.found) != kMainWindowCaption) {
      char text[1024] = {};
      GetDlgItemTextA(search.found, 0xFFFF, text, sizeof text);
      status = Fail("the first window is \"" + Text(search.found) + "\": " + text);
      PostMessageA(search.found, WM_COMMAND, IDOK, 0);
    } else {
      PostMessageA(search.found, WM_CLOSE, 0, 0);
    }
  }

  if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 99);
    return Fail("the program did not end");
  }
  DWORD exit_code = 1;
  GetExitCodeProcess(process.hProcess, &exit_code);
  if (exit_code != 0) status = Fail("the program's exit code is " + std::to_string(exit_code));
  return status;
}
