// What a save tells the user.
#pragma once

namespace marivane {

inline constexpr const char* kNoTempFolderMessage = "A valid temporary path could not be found!";
inline constexpr const char* kClearWorkDirMessage = "Failed to clear the temporary working directory!";
inline constexpr const char* kCreateWorkDirMessage =
    "Failed to create a temporary working directory!  Check your temp folder is not read only.";
inline constexpr const char* kCreateCaptureDirMessage =
    "Failed to create a temporary capture directory!  Check your temp folder is not read only.";
inline constexpr const char* kNoTemplateMessage =
    "Unable to locate the template file \"x86template\" in the program directory.";
inline constexpr const char* kCopyTemplateMessage =
    "An error occurred while copying the file x86template to the temporary working directory!";
// The language file chosen as the template cannot serve; its problem follows.
inline constexpr const char* kLanguageTemplateMessage =
    "Unable to make the boot screen template from the chosen language file.  ";
inline constexpr const char* kWriteLanguageTemplateMessageStart =
    "An error occurred while writing the template made from ";
inline constexpr const char* kCopyFileMessageStart = "An error occurred while copying the file ";
inline constexpr const char* kCopyFileMessageEnd = " to the temporary working directory!";
// Another copy of the program, or the command-line tool, holds the shared working folder's
// lock: its save is under way there.
inline constexpr const char* kWorkDirBusyMessageStart = "The temporary working directory ";
inline constexpr const char* kWorkDirBusyMessageEnd =
    " is in use by another save.  Wait until it has finished, then try again.";

inline constexpr const char* kUnableToSaveCaption = "Unable to save";
inline constexpr const char* kWimTooBigMessage =
    "Unable to save the boot screen file.  The generated WIM is too big to add as a resource!\r\r"
    "You may be able to get round this problem by making your 800x600 image solid black.";

inline constexpr const char* kSavedCaption = "File saved";
inline constexpr const char* kSavedMessage =
    "The boot screen file was saved successfully.\r\r"
    "To enable your new boot screen, copy the file to the %windir%\\System32\\en-US folder of "
    "your Vista installation overwriting the original.  If you get a permission error, you will "
    "have to take ownership of the existing file and then give yourself write permissions.\r\r"
    "NOTE: your new boot screen will not be displayed unless you enable the /NOGUIBOOT option "
    "using the MSCONFIG.EXE tool that comes with Vista.";
// Where the advice sends a file made from another language's template than en-US.
inline constexpr const char* kSavedMessageFolder = "en-US";
// The path chosen in the save dialog lies in the working folder, which goes when the save ends.
inline constexpr const char* kSaveInWorkDirMessageStart = "Unable to save the boot screen file as ";
inline constexpr const char* kSaveInWorkDirMessageEnd =
    ".  It lies inside the temporary working directory, which is removed when the save ends.  "
    "Choose another folder.";
inline constexpr const char* kSaveFailedMessage =
    "Unable to save the boot screen file.\r\r"
    "If you're trying to save over an existing file, you may not have write permissions to do "
    "so.  \r\rTry taking ownership of the existing file and then give yourself write permissions.";

}  // namespace marivane
