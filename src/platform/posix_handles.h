// The POSIX descriptors and folder listings the platform owns, each given back exactly once.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include "base/owned.h"

namespace marivane::platform {

// 0 is a descriptor like any other: -1 is the one that owns nothing.
using TDescriptor = TOwned<int, &::close, TNoneIs<int, -1>>;
using TFolderListing = TOwned<DIR*, &::closedir>;

}  // namespace marivane::platform
