// What the command-line tool tells the user in its own words, beside the builder's messages it
// passes on: errors and advice on standard error, each command's report on standard output.
// The help is help.cpp's, which writes it whole. A text that wraps a name or a number is a
// small function.
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace marivane::cli {

// The output, and the folders it must not lie in.
inline std::string OutputExistsMessage(const std::string& output) {
  return output + " exists already; add --force to replace it";
}
inline std::string OutputInWorkDirMessage(const std::string& output, const std::string& work_dir) {
  return output + " lies inside the temporary working directory " + work_dir +
         ", which every build clears and removes; choose another output";
}
inline std::string OutputInCapturedFolderMessage(const std::string& output,
                                                 const std::string& folder) {
  return output + " lies inside " + folder + ", the folder being captured; write it elsewhere";
}

// The temporary folder: the window's words, then what the user can mend.
inline constexpr const char* kNoTempFolderMessageStart =
    "A valid temporary path could not be found!  ";
inline std::string NoTempVariableText(const std::string& folder) {
  return "Neither TEMP nor TMPDIR is set, and " + folder + " is not a folder.";
}
inline std::string TempVariableUnsetText(const std::string& variable) {
  return variable + " is not set.";
}
inline std::string TempVariableNoFolderText(const std::string& variable,
                                            const std::string& folder) {
  return variable + " is " + folder + ", which is not a folder.";
}

// This Windows' own language file and boot loader; `option` is what asked for them.
inline std::string NoSystemLanguageFileMessage(const std::string& option) {
  return option +
         " reads the language file of the Windows it runs on "
         "(%windir%\\System32\\LANGUAGE\\winload.exe.mui), and so needs Windows. Name the file "
         "instead: marivane-cli template SOURCE (a mounted Windows partition's "
         "Windows/System32/LANGUAGE/winload.exe.mui serves), then build --template with its "
         "output";
}
inline std::string NoInstallLanguageMessage(const std::string& option) {
  return "The system does not say which language Windows was installed in; name one: " + option +
         " de-DE";
}
inline std::string NotALanguageNameMessage(const std::string& name) {
  return name + " is not a language name such as de-DE";
}
inline std::string LanguageFileIsFolderMessage(const std::string& path) {
  return path + " is a folder, not a language file";
}
inline std::string NoLanguageFileMessage(const std::string& path, const std::string& name) {
  return path + ": there is no such file; this Windows has no language file for " + name;
}
inline std::string NoSystemBootLoaderMessage(const std::string& option) {
  return option +
         " reads the boot loader of the Windows it runs on (%windir%\\System32\\winload.exe), "
         "and so needs Windows. Name the file instead: --against WINLOAD.EXE (a mounted Windows "
         "partition's Windows/System32/winload.exe serves)";
}
inline std::string NoBootLoaderMessage(const std::string& path) {
  return path + ": there is no such file; this Windows has no boot loader there";
}

// build: the template.
// `named`: the places are the one --template named, not those build looks in by itself.
inline std::string TemplateNotFoundMessage(const std::vector<std::string>& places, bool named) {
  std::string looked;
  for (const std::string& place : places) looked += (looked.empty() ? "" : " and ") + place;
  return "Unable to locate the template file: looked for " + looked +
         (named ? "" : "; name one with --template PATH");
}
inline std::string SystemTemplateText(const std::string& path, const std::string& language,
                                      bool original) {
  return "Template: " + path +
         (original ? ", the original of this Windows' " + language + " language file"
                   : ", this Windows' own " + language + " language file");
}
inline std::string UnsuitedTemplateText(const std::string& why_built_in) {
  return "Template: x86template, made without this Windows' checksums: the file may not suit "
         "this Windows" +
         (why_built_in.empty() ? "" : " (its own cannot serve: " + why_built_in + ")");
}
inline std::string LanguageFileTemplateText(const std::string& path) {
  return "Template: " + path + ", a language file, made into a template for this build";
}

// build: the pictures.
inline std::string NoPrepareFolderMessage(const std::string& temporary_folder) {
  return "Cannot make a folder for the prepared pictures in " + temporary_folder;
}
// A picture that could not be loaded, by its file's name and, for a photo, its kind.
inline std::string PictureErrorMessage(const std::string& path, const std::string& photo,
                                       const std::string& error) {
  return path + (photo.empty() ? "" : " (a " + photo + " picture)") + ": " + error;
}
inline std::string PicturesSwappedMessage(const std::string& big, const std::string& small) {
  return "The 1024 x 768 picture was given first: give " + small + " (800 x 600) first, then " +
         big + " (1024 x 768).";
}
inline std::string PictureRejectedMessage(const std::string& path, const std::string& description,
                                          const std::string& rejection) {
  return path + " (" + description + "): " + rejection;
}
inline constexpr const char* kPrepareHelpsMessage =
    "Add --prepare to frame any picture for its slot.";

// build: the outcome.
inline std::string BuildReport(const std::string& output, unsigned long long wim_size,
                               unsigned slot_size) {
  char percent[32];
  std::snprintf(percent, sizeof percent, "%.1f",
                100.0 * static_cast<double>(wim_size) / slot_size);
  return output + ": the WIM takes " + std::to_string(wim_size) + " of the slot's " +
         std::to_string(slot_size) + " bytes (" + percent + "%), " +
         std::to_string(slot_size - wim_size) + " to spare";
}
inline std::string WimOverSlotMessage(unsigned long long over, unsigned slot_size) {
  return "The WIM is " + std::to_string(over) + " bytes over the " + std::to_string(slot_size) +
         "-byte slot.";
}

// check: one line per file.
inline std::string CheckErrorLine(const std::string& path, const std::string& error,
                                  const std::string& photo) {
  return path + ": error: " + error +
         (photo.empty() ? "" : "; it is a " + photo + " picture, which marivane-cli "
                               "prepare turns into a bitmap for a slot");
}
inline std::string CheckLine(const std::string& path, const std::string& description, bool small,
                             bool big) {
  return path + ": " + description + " small=" + (small ? "valid" : "rejected") +
         " big=" + (big ? "valid" : "rejected");
}

// capture, extract, prepare, template: what was written.
inline std::string BytesWrittenLine(const std::string& output, unsigned long long size) {
  return output + ": " + std::to_string(size) + " bytes";
}
inline std::string PreparedLine(const std::string& output, int width, int height,
                                const std::string& source, int upright_width, int upright_height,
                                const std::string& mode) {
  return output + ": " + std::to_string(width) + "x" + std::to_string(height) +
         " 24-bit bitmap from " + source + " (" + std::to_string(upright_width) + "x" +
         std::to_string(upright_height) + " upright, " + mode + ")";
}
inline std::string TemplateLine(const std::string& output, const std::string& language,
                                unsigned long long carried, unsigned directory,
                                unsigned directory_room) {
  return output + ": language " + language + ", " + std::to_string(carried) +
         " resources carried, directory " + std::to_string(directory) + " of " +
         std::to_string(directory_room) + " bytes";
}

// extract.
inline std::string NotAFolderForOutputMessage(const std::string& folder) {
  return folder + " is not a folder; give -o a folder that exists";
}
// A file without both pictures: its verdict, the first problem's detail, if any.
inline std::string NothingExtractedMessage(const std::string& path, const std::string& verdict,
                                           const std::string& detail) {
  return path + ": " + verdict + (detail.empty() ? "" : " (" + detail + ")") +
         "; nothing was written";
}
// After a failed write: the other picture that was written all the same.
inline std::string OtherWrittenEnd(const std::string& other) {
  return "; " + other + " was written";
}
inline std::string NotGoodFileMessage(const std::string& path, const std::string& verdict) {
  return path + " is " + verdict;
}

// inspect: a file it cannot read, and the pairing with the boot loader.
inline std::string InspectErrorLine(const std::string& path, const std::string& error) {
  return path + ": error: " + error;
}
inline std::string PairsLine(const std::string& loader) {
  return "  It pairs with " + loader + ": the same checksums, language and file version";
}
inline std::string DoesNotPairLine(const std::string& loader, const std::string& reasons) {
  return "  It does not pair with " + loader + ": " + reasons;
}
inline std::string CannotTellPairingLine(const std::string& loader, const std::string& reasons) {
  return "  Whether it pairs with " + loader + " cannot be told: " + reasons;
}

// install, restore, status: the Windows to work on.
inline constexpr const char* kNotWindowsMessage =
    "This is not Windows: name a Windows partition mounted here with --windows MOUNTPOINT.";
inline constexpr const char* kWindowsOptionOnWindowsMessage =
    "--windows is for a Windows partition mounted on Linux; on Windows leave it out.";
// Why the partition mounted at `mountpoint` cannot serve: "--windows MOUNTPOINT: WHY".
inline std::string VolumeProblemMessage(const std::string& mountpoint, const char* why) {
  return "--windows " + mountpoint + ": " + why;
}
inline constexpr const char* kVolumeReadOnlyText =
    "the partition is mounted read-only (a Windows that was hibernated or not shut down fully is "
    "mounted so); shut Windows down fully and mount it read-write";
inline constexpr const char* kVolumeMissingText = "there is nothing there";
inline constexpr const char* kVolumeNotAFolderText =
    "that is no folder: name the folder the Windows partition is mounted on";
inline constexpr const char* kVolumeEmptyText =
    "the folder is empty: no partition is mounted there (a partition BitLocker has locked cannot "
    "be mounted at all)";
inline constexpr const char* kVolumeLockedText =
    "BitLocker has locked this partition, and Marivane cannot reach a locked partition; unlock it "
    "first (with dislocker and the recovery key)";
inline constexpr const char* kVolumeDislockerText =
    "this is dislocker's view of the unlocked partition: mount the dislocker-file in it and name "
    "that mount";
inline constexpr const char* kVolumeUnusableText = "it cannot be used";
inline constexpr const char* kResultUnwritableMessageStart = "The result could not be written: ";

// What `check` says a loaded picture is: "bitmap 800x600 24-bit"; `pixel_format` is null for a
// picture that has none to name.
inline std::string DescriptionText(const std::string& kind, long long width, long long height,
                                   const char* pixel_format) {
  return kind + " " + std::to_string(width) + "x" + std::to_string(height) +
         (pixel_format == nullptr ? "" : std::string(" ") + pixel_format);
}

// A wrong command line: what was wrong, then the command's usage.
// Appended piece by piece: GCC 12 at -O3 takes "'" + text + "'" for an overlapping copy
// (-Wrestrict) once it is inlined into the texts below.
inline std::string Quoted(std::string_view text) {
  std::string quoted(1, '\'');
  quoted.append(text).push_back('\'');
  return quoted;
}
// "small or big", "fill, fit or stretch"
inline std::string Alternatives(std::span<const std::string_view> values) {
  std::string text;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i != 0) text += i + 1 == values.size() ? " or " : ", ";
    text += values[i];
  }
  return text;
}
// "; did you mean 'build'?", or nothing when there is no `nearest` name.
inline std::string DidYouMeanText(std::string_view nearest) {
  return nearest.empty() ? "" : "; did you mean " + Quoted(nearest) + "?";
}
inline std::string UnknownWordMessage(std::string_view word) {
  return (word.starts_with('-') ? "unknown option " : "unknown command ") + Quoted(word);
}
inline std::string UnknownOptionMessage(std::string_view command, std::string_view option) {
  return std::string(command) + " takes no option " + Quoted(option);
}
// `what`: the value's name, or the values it may take.
inline std::string NeedsValueMessage(std::string_view option, const std::string& what) {
  return std::string(option) + " needs a value: " + what;
}
inline std::string ValueNotAllowedMessage(std::string_view option, const std::string& allowed,
                                          std::string_view value) {
  return std::string(option) + " takes " + allowed + ", not " + Quoted(value);
}
inline std::string GoesOnlyWithMessage(std::string_view option, std::string_view needed) {
  return std::string(option) + " goes only with " + std::string(needed);
}
inline std::string NotTogetherMessage(std::string_view option, std::string_view excluded) {
  return std::string(option) + " and " + std::string(excluded) + " cannot be given together";
}
inline std::string NeedsOptionMessage(std::string_view command, std::string_view option,
                                      const std::string& what) {
  return std::string(command) + " needs " + std::string(option) + ": " + what;
}
inline std::string TooFewFilesMessage(std::string_view command, std::string_view files,
                                      std::size_t count) {
  return std::string(command) + " needs " + std::string(files) + "; " +
         (count == 0 ? "none" : std::to_string(count)) + " given";
}
inline std::string TooManyFilesMessage(std::string_view command, std::string_view files,
                                       std::size_t count) {
  return std::string(command) + " takes only " + std::string(files) + "; " +
         std::to_string(count) + " given";
}
inline std::string UsageErrorText(const std::string& what, const std::string& synopsis,
                                  const std::string& name) {
  return what + "\nusage: marivane-cli " + synopsis + "\n(marivane-cli help " + name +
         " says more)";
}
inline constexpr const char* kHelpTakesOneMessage = "help takes one COMMAND at most";
inline constexpr const char* kVersionTakesNothingMessage = "--version takes nothing after it";

}  // namespace marivane::cli
