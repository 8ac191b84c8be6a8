#include <filesystem>

#include "platform/shell_utils.h"

namespace marivane::platform {

bool RemoveFolderTree(const std::string& path) {
  try {
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) return false;
    std::filesystem::remove_all(path, error);
    return !error;
  } catch (...) {
    return false;
  }
}

// No WOW64 here: a native Linux build is never a 32-bit guest on a 64-bit Windows.
bool IsWow64() { return false; }

}  // namespace marivane::platform
