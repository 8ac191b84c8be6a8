// What the Windows program says of its own, beside the builder's messages: the main window's
// refusals and reports, the template dialog's and the picture import's words. A text that runs
// round a name or a path comes in a Start and an End.
#pragma once

namespace marivane::ui {

// --- The main window ---
inline constexpr const char* kOneFileMessage = "You can only drop one file at a time.";
inline constexpr const char* kX64Caption = "Windows x64 Edition Detected";
inline constexpr const char* kX64Message =
    "This version of Marivane cannot currently generate boot screens for x64 editions of "
    "Vista.\r\rDo not attempt to install x86 boot screens in this version of Windows otherwise "
    "you will cause your system to become unbootable!";
inline constexpr const char* kBootScreenFilter =
    "Boot screen files (*.mui)|*.mui|All files (*.*)|*.*";

// --- The main window's template line ---
// The line under the slots: this lead, the template's description, its path.
inline constexpr const char* kTemplateLineLead = "Template: ";
// What follows the lead when the built-in template stands in for an unsuited Windows' own.
inline constexpr const char* kUnsuitedBuiltInLine =
    "built-in x86template; a file built on it may not suit this Windows";
// Its tooltip: the built-in template's description, then this; then why this Windows' own
// cannot serve, when that is known, between Why and WhyEnd; then the advice.
inline constexpr const char* kUnsuitedBuiltInTip = ", made without this Windows' checksums.";
inline constexpr const char* kUnsuitedBuiltInWhy = "\nThis Windows' own cannot serve: ";
inline constexpr const char* kUnsuitedBuiltInAdvice =
    "\nFile > Boot Screen Template... chooses a language file of this Windows.";
// After the path of a chosen file that cannot serve; its reason comes between.
inline constexpr const char* kTemplateLineCannotServeStart = " (cannot serve: ";
inline constexpr const char* kTemplateLineCannotServeEnd = ")";

// --- Install and restore ---
inline constexpr const char* kInstallCaption = "Install Boot Screen";
inline constexpr const char* kRestoreCaption = "Restore Original Boot Screen";
// After the command's refusal, with its advice on --force taken out.
inline constexpr const char* kInstallAnywayQuestion = "\r\rInstall it all the same?";
// marivane-cli.exe is not beside the program; its path comes between.
inline constexpr const char* kMissingToolStart = "Marivane cannot do this without ";
inline constexpr const char* kMissingToolEnd =
    ", which is missing.  It belongs beside marivane.exe, as it comes in Marivane's "
    "package.\r\rNothing was changed.";
inline constexpr const char* kElevationCancelledMessage =
    "Nothing was changed: the request for administrator rights was cancelled.";
// The command could not be started: its path, then the system's words come between.
inline constexpr const char* kElevationFailedStart = "Unable to start ";
inline constexpr const char* kElevationFailedMiddle = " with administrator rights.  ";
inline constexpr const char* kElevationFailedEnd = "\r\rNothing was changed.";
// The command left no report: its path comes first, then Start, its exit status, Middle, the
// report's path, End.
inline constexpr const char* kNoReportStart = " ended with exit status ";
inline constexpr const char* kNoReportMiddle = " and left no readable report of what it did in ";
inline constexpr const char* kNoReportEnd =
    ".  To see what is in place now, run \"marivane-cli status\" from an administrator "
    "Command Prompt.";

// --- Opening a boot screen file and the boot preview ---
inline constexpr const char* kOpenBootScreenCaption = "Open Boot Screen File";
// The verdicts, each after the file's path; a good file's findings follow its own.
inline constexpr const char* kGoodVerdict =
    " is a good boot screen file.  Its pictures are now in the slots: a save builds a new file "
    "from them with the template named below them.";
inline constexpr const char* kNoBootScreenVerdict =
    " holds no boot screen: it is a language file without one.  The slots keep their pictures.";
// A damaged file's first problem comes between.
inline constexpr const char* kDamagedVerdictStart = " is damaged: ";
inline constexpr const char* kDamagedVerdictEnd = "\r\rThe slots keep their pictures.";
// The slot's tooltip line under a picture taken from a boot screen file; its path follows.
inline constexpr const char* kTakenFrom = "Taken from ";
// The slot the boot loader would show on this screen is empty; the screen's size comes between.
inline constexpr const char* kNoPreviewStart = "This screen shows the boot screen at ";
inline constexpr const char* kNoPreviewEnd = ", and that slot holds no picture to show.";
inline constexpr const char* kSmallScreenSize = "800 x 600";
inline constexpr const char* kBigScreenSize = "1024 x 768";

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
