// marivane.exe: binds the imaging library, opens the main window and runs the message loop
// until it closes.
#include <windows.h>

#include "platform/exit_procs.h"
#include "platform/wimgapi.h"

namespace {

constexpr char kMainWindowClass[] = "TForm1";
constexpr char kTitle[] = "Marivane";

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  wimgapi::LoadWIMGAPI();

  WNDCLASSA window_class{};
  window_class.lpfnWndProc = MainWindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kMainWindowClass;
  RegisterClassA(&window_class);

  // Client area 512 x 257 at 96 dpi; fixed size, system menu and minimise button only.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame{0, 0, 512, 257};
  AdjustWindowRect(&frame, style, FALSE);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  HWND window = CreateWindowExA(0, kMainWindowClass, kTitle, style,
                                (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
                                nullptr, nullptr, instance, nullptr);
  ShowWindow(window, show);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  marivane::platform::RunExitProcs();
  return 0;
}
