#include <windows.h>
#include <shellapi.h>

#include <bit>
#include <vector>

#include "base/errors.h"
#include "platform/shell_utils.h"

namespace marivane::platform {

bool RemoveFolderTree(const std::string& path) {
  // The shell copies each listed path into a buffer of MAX_PATH characters of its own (Wine's
  // overruns it and crashes): a longer path is refused whole, never cut short.
  if (path.size() >= MAX_PATH) return false;
  try {
    // The shell takes a list of paths, each ended by a zero, the list by a second zero. The
    // buffer is as long as the path needs: a long path is never cut short.
    std::vector<char> from(path.size() + 2, '\0');
    path.copy(from.data(), path.size());
    SHFILEOPSTRUCTA operation{};
    operation.hwnd = nullptr;
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.data();
    operation.pTo = nullptr;
    // To the Recycle Bin, and no window of the shell's own: no confirmation, no progress.
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT;
    return SHFileOperationA(&operation) == 0;
  } catch (...) {
    return false;
  }
}

bool IsWow64() {
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  // Looked up at run time: Windows versions before the function have no WOW64 either.
  const auto is_wow64_process = std::bit_cast<IsWow64ProcessFn>(
      GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process"));
  if (is_wow64_process == nullptr) return false;
  BOOL wow64 = FALSE;
  if (!is_wow64_process(GetCurrentProcess(), &wow64))
    throw Exception("Bad process handle.  WARNING! DO NOT USE THIS APPLICATION IN AN x64 ENVIRONMENT!");
  return wow64 != FALSE;
}

}  // namespace marivane::platform
