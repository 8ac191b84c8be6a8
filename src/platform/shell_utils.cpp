#include "platform/shell_utils.h"

#include "platform/leftovers.h"

namespace marivane::platform {
bool ShellDeleteFolder(const std::string& path, TFolderRemoval removal) {
  if (removal == TFolderRemoval::FailAsInUse || !RemoveFolderTree(path)) return false;
  ReleaseLeftover(path);
  return true;
}

}  // namespace marivane::platform
