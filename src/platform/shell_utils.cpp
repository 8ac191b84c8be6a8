#include "platform/shell_utils.h"

namespace marivane::platform {
namespace {
bool fail_removals = false;
}

void FailFolderRemovalsForTesting(bool fail) { fail_removals = fail; }

bool ShellDeleteFolder(const std::string& path) { return !fail_removals && RemoveFolderTree(path); }

}  // namespace marivane::platform
