// A stand-in for Windows' bcdedit.exe, for tests that plant it in a Wine prefix's System32:
// it appends the arguments it was given, one run a line, each argument ended by a tab, to
// the file that MARIVANE_BCDEDIT_LOG names, and exits with the status MARIVANE_BCDEDIT_EXIT
// gives (0 when unset). "hang" there makes it wait until it is ended.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <windows.h>

int main(int argc, char** argv) {
  if (const char* log = std::getenv("MARIVANE_BCDEDIT_LOG")) {
    if (std::FILE* file = std::fopen(log, "ab")) {
      for (int i = 1; i < argc; ++i) std::fprintf(file, "%s\t", argv[i]);
      std::fputc('\n', file);
      std::fclose(file);
    }
  }
  const char* status = std::getenv("MARIVANE_BCDEDIT_EXIT");
  if (status != nullptr && std::strcmp(status, "hang") == 0) Sleep(INFINITE);
  return status != nullptr ? std::atoi(status) : 0;
}
