#include "platform/shell_utils.h"

#include "platform/leftovers.h"

namespace marivane::platform {
namespace {
bool fail_removals = false;
}

void FailFolderRemovalsForTesting(bool fail) { fail_removals = fail; }

bool ShellDeleteFolder(const std::string& path) {
  if (fail_removals || !RemoveFolderTree(path)) return false;
  ReleaseLeftover(path);
  return true;
}

}  // namespace marivane::platform
