// What the Windows program says of its own, beside the builder's messages: the main window's
// refusals, the template dialog's and the picture import's words. A text that runs round a
// name or a path comes in a Start and an End.
#pragma once

namespace marivane::ui {

// --- The main window ---
inline constexpr const char* kOneFileMessage = "You can only drop one file at a time.";
inline constexpr const char* kX64Caption = "Windows x64 Edition Detected";
inline constexpr const char* kX64Message =
    "This version of Marivane cannot currently generate boot screens for x64 editions of "
    "Vista.\r\rDo not attempt to install x86 boot screens in this version of Windows otherwise "
    "you will cause your system to become unbootable!";

// --- The template dialog ---
inline constexpr const char* kTemplateCaption = "Boot Screen Template";
inline constexpr const char* kLanguageFileFilter =
    "Language files (*.mui)|*.mui|All files (*.*)|*.*";
inline constexpr const char* kLanguageFileTitle = "Select a Language File...";
inline constexpr const char* kBuiltInChoiceTitle = "Built-in template: en-US (x86template)";
inline constexpr const char* kBuiltInChoiceTip = "x86template beside the program";
// After the folder's name, when it is the language Windows was installed in.
inline constexpr const char* kInstallLanguageMark = " (the language Windows was installed in)";
// After the folder's name, when the file in it says another language; that language follows.
inline constexpr const char* kOtherLanguageMark = ", but the file in it is ";
// The greyed line under a choice that cannot serve; its reason comes between.
inline constexpr const char* kCannotServeStart = "Cannot serve as a template: ";
inline constexpr const char* kCannotServeEnd = ".";
// A file from elsewhere that cannot serve; its path, then the reader's problem come between.
inline constexpr const char* kNotATemplateMessageStart = "The file ";
inline constexpr const char* kNotATemplateMessageMiddle =
    " cannot serve as a boot screen template: ";

// --- The picture import ---
inline constexpr const char* kImportFilter =
    "Pictures (*.png;*.jpg;*.jpeg;*.gif;*.tif;*.tiff;*.bmp;*.ico)|"
    "*.png;*.jpg;*.jpeg;*.gif;*.tif;*.tiff;*.bmp;*.ico|"
    "PNG (*.png)|*.png|JPEG (*.jpg;*.jpeg)|*.jpg;*.jpeg|GIF (*.gif)|*.gif|"
    "TIFF (*.tif;*.tiff)|*.tif;*.tiff|Bitmaps (*.bmp)|*.bmp|Icons (*.ico)|*.ico|"
    "All files (*.*)|*.*";
inline constexpr const char* kBitmapFilter = "Bitmap files (*.bmp)|*.bmp";
// The import's dialog titles and its framing dialog's caption, one for each slot.
inline constexpr const char* kImportSmallCaption = "Import Picture for 800 x 600";
inline constexpr const char* kImportBigCaption = "Import Picture for 1024 x 768";
// How the slot's own bitmap is called in the question about a photo.
inline constexpr const char* kSmallSlotBitmap = "an 800 x 600 24-bit bitmap";
inline constexpr const char* kBigSlotBitmap = "a 1024 x 768 24-bit bitmap";
// A photo browsed for or dropped on a slot: its quoted name, then the slot's bitmap between.
inline constexpr const char* kPhotoQuestionStart = "\"";
inline constexpr const char* kPhotoQuestionMiddle = "\" is a photo, not ";
inline constexpr const char* kPhotoQuestionEnd = ". Import it, framed for this slot?";
// The prepared copy's name is taken: its quoted path comes between.
inline constexpr const char* kReplaceQuestionStart = "\"";
inline constexpr const char* kReplaceQuestionEnd =
    "\" already exists.\r\nDo you want to replace it?";
inline constexpr const char* kSavePreparedTitle = "Save Prepared Picture As";
inline constexpr const char* kSavePreparedUnwritableTitle =
    "Save Prepared Picture As - its own folder cannot be written";
// The slot's tooltip line under a prepared copy's path; the photo's path follows.
inline constexpr const char* kPreparedFrom = "Prepared from ";

}  // namespace marivane::ui
