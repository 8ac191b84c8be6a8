// Removing a folder with everything in it.
#pragma once

#include <string>

namespace marivane::platform {

// Whether ShellDeleteFolder removes the folder, or fails as it would on a folder in use: the
// latter for tests, where no real lock can stand in (root removes anything on Linux, and
// Wine's shell moves a folder with a file held open to its trash all the same).
enum class TFolderRemoval { Remove, FailAsInUse };

// Removes the folder and its contents: on Windows through the shell, to the Recycle Bin where
// there is one, without confirmation or progress windows. True when the removal succeeded;
// never raises. A path that does not exist gives false.
bool ShellDeleteFolder(const std::string& path, TFolderRemoval removal = TFolderRemoval::Remove);

// The platform's own removal, behind ShellDeleteFolder.
bool RemoveFolderTree(const std::string& path);

// True when this 32-bit program runs on 64-bit Windows (under WOW64). Raises when the system
// cannot tell.
bool IsWow64();

}  // namespace marivane::platform
