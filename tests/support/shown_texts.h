// What the user reads, written out as it appears on the screen instead of being taken from the
// program's own constants: a slip of one character in the program must fail a test. Message
// boxes break their paragraphs with carriage returns alone.
#pragma once

#include <string>

namespace marivane::test::shown {

inline constexpr char kSmallRejection[] =
    "The image you selected is not valid - it must be 800 x 600 24-bit colour.";
inline constexpr char kBigRejection[] =
    "The image you selected is not valid - it must be 1024 x 768 24-bit colour.";
inline constexpr char kUnsupportedDrop[] = "Unsupported image file, or not an image!";
inline constexpr char kWimgapiMissing[] = "The file WIMGAPI.DLL is missing or failed to load!";
inline constexpr char kOneFile[] = "You can only drop one file at a time.";

inline constexpr char kNoTempFolder[] = "A valid temporary path could not be found!";
inline constexpr char kClearWorkDir[] = "Failed to clear the temporary working directory!";
inline constexpr char kCreateWorkDir[] =
    "Failed to create a temporary working directory!  Check your temp folder is not read only.";
inline constexpr char kCreateCaptureDir[] =
    "Failed to create a temporary capture directory!  Check your temp folder is not read only.";
inline constexpr char kCopyTemplate[] =
    "An error occurred while copying the file x86template to the temporary working directory!";
inline std::string SetBootFailed(int code) {
  return "Failed to mark the WIM image as bootable: " + std::to_string(code);
}
inline constexpr char kNoTemplate[] =
    "Unable to locate the template file \"x86template\" in the program directory.";
inline std::string CopyToWorkDirFailed(const std::string& path) {
  return "An error occurred while copying the file " + path + " to the temporary working directory!";
}

inline constexpr char kUnableToSaveCaption[] = "Unable to save";
inline constexpr char kWimTooBig[] =
    "Unable to save the boot screen file.  The generated WIM is too big to add as a resource!\r\r"
    "You may be able to get round this problem by making your 800x600 image solid black.";
inline constexpr char kSaveFailed[] =
    "Unable to save the boot screen file.\r\r"
    "If you're trying to save over an existing file, you may not have write permissions to do "
    "so.  \r\rTry taking ownership of the existing file and then give yourself write permissions.";
inline constexpr char kSavedCaption[] = "File saved";
inline constexpr char kSaved[] =
    "The boot screen file was saved successfully.\r\r"
    "To enable your new boot screen, copy the file to the %windir%\\System32\\en-US folder of "
    "your Vista installation overwriting the original.  If you get a permission error, you will "
    "have to take ownership of the existing file and then give yourself write permissions.\r\r"
    "NOTE: your new boot screen will not be displayed unless you enable the /NOGUIBOOT option "
    "using the MSCONFIG.EXE tool that comes with Vista.";

inline constexpr char kX64Caption[] = "Windows x64 Edition Detected";
inline constexpr char kX64[] =
    "This version of Marivane cannot currently generate boot screens for x64 editions of "
    "Vista.\r\rDo not attempt to install x86 boot screens in this version of Windows otherwise "
    "you will cause your system to become unbootable!";

}  // namespace marivane::test::shown
