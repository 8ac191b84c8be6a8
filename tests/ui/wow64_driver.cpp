// wow64_driver PROGRAM: starts the real marivane.exe, which must be running on 64-bit Windows
// (a 64-bit Wine prefix), and checks from outside that it warns and then ends by itself: the
// warning box with its caption and text, answered with OK, then exit code 0.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr char kCaption[] = "Windows x64 Edition Detected";
constexpr char kText[] =
    "This version of Marivane cannot currently generate boot screens for x64 editions of "
    "Vista.\r\rDo not attempt to install x86 boot screens in this version of Windows "
    "otherwise you will cause your system to become unbootable!";

struct Search {
  DWORD process_id;
  HWND found;
};

BOOL CALLBACK FindWarning(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char caption[128] = {};
  GetWindowTextA(window, caption, sizeof caption);
  if (owner == search->process_id && std::string(caption) == kCaption) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

int Fail(const char* what) {
  std::fprintf(stderr, "wow64_driver: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return Fail("usage: wow64_driver PROGRAM");
  BOOL wow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64)
    return Fail("this prefix is not 64-bit; the check means nothing here");

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string command = std::string("\"") + argv[1] + "\"";
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return Fail("cannot start the program");

  Search search{process.dwProcessId, nullptr};
  for (int i = 0; i < 300 && search.found == nullptr; ++i) {
    Sleep(100);
    EnumWindows(FindWarning, reinterpret_cast<LPARAM>(&search));
  }
  if (search.found == nullptr) {
    TerminateProcess(process.hProcess, 99);
    return Fail("no warning box appeared");
  }
  // The message box's text is the static control with id 0xFFFF. Its icon cannot be compared
  // from another process (Wine hands each process its own handle for the system's icons);
  // the in-process window tests check it.
  char text[1024] = {};
  GetDlgItemTextA(search.found, 0xFFFF, text, sizeof text);
  PostMessageA(search.found, WM_COMMAND, IDOK, 0);

  int status = 0;
  if (std::string(text) != kText) status = Fail("the warning's text differs");
  if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 99);
    return Fail("the program did not end after the warning");
  }
  DWORD exit_code = 1;
  GetExitCodeProcess(process.hProcess, &exit_code);
  if (exit_code != 0) status = Fail("the program's exit code is not 0");
  return status;
}
