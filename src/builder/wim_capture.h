// Capturing a folder into a new WIM through the imaging library's four calls: create the file,
// capture the folder as its first image, mark that image bootable, close both handles.
#pragma once

#include <string>

#include "builder/user_interface.h"

namespace marivane {

inline constexpr const char* kCreateWimFailedMessage = "Failed to create the WIM file.  Error: ";
inline constexpr const char* kCaptureFailedMessage = "Failed to capture image: ";
inline constexpr const char* kSetBootFailedMessage = "Failed to mark the WIM image as bootable: ";

// Writes `wim_path` (always anew) from the folder tree at `folder`, LZX-compressed. False after
// one message to `ui` when the library is missing or one of its calls fails.
bool CaptureFolderToWim(const std::string& folder, const std::string& wim_path, TUserInterface& ui);

}  // namespace marivane
