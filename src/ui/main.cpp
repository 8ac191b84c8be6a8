// marivane.exe: makes a replacement boot screen file from two bitmaps.
#include <windows.h>

#include "ui/program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
  return marivane::ui::RunProgram(instance, show_command);
}
