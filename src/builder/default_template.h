// The template a save uses until the user chooses one: this Windows' own language file, from the
// folder the boot loader reads, so that a boot screen file built on it pairs with this boot
// loader (the built-in x86template, made from scratch, carries none of its checksums). Where the
// file in place is a replacement already, the original an install kept in its backup serves
// instead. The built-in template only where no system file serves. The window and
// `marivane-cli build` both start from here.
#pragma once

#include <functional>
#include <string>

#include "platform/boot_configuration.h"

namespace marivane {

enum class TDefaultTemplateSource {
  SystemFile,  // System32\<language>\winload.exe.mui, the file in place
  Backup,      // the original an install kept, the file in place being a replacement
  BuiltIn,     // x86template beside the program
};

struct TDefaultTemplate {
  TDefaultTemplateSource source = TDefaultTemplateSource::BuiltIn;
  std::string path;      // the language file; empty for the built-in template
  std::string language;  // the boot language ("de-DE"); empty when no folder has its file
  // BuiltIn on a Windows that has a boot loader: a file built on x86template may not suit it.
  // Elsewhere (Linux, a Wine prefix without one) nothing is said of it.
  bool unsuited = false;
  // Why no system file serves, naming the file, for a tooltip or a note; empty when one does.
  std::string why_built_in;
};

// Where a complete backup of `language`'s original lies: its copy of the original file, or
// empty when there is none (or it is not whole).
using TBackupLookup = std::function<std::string(const std::string& language)>;

// Whether the original kept at `backup` is to serve rather than the file in place at
// `in_place`: they differ (an install puts its file in place only after the backup is whole,
// a restore puts the original back byte for byte), and the backup does not belong to another
// version of the boot loader at `loader` (an update has since replaced both, and the file in
// place is Windows' own again). A file that cannot be read is not taken.
bool BackupServesForFileInPlace(const std::string& backup, const std::string& in_place,
                                const std::string& loader, const std::string& language);

// This system's lookup: the original in the install's backup folder (boot_screen_backup.h),
// only when the backup is complete.
std::string CompleteBackupOf(const std::string& language);

// Whether the language file at `path` was made for another version of the boot loader at
// `loader`, as the pairing judges it for the folder `language`: a check that fails. One that
// cannot be made (a loader without a configuration, a file that cannot be read) says nothing
// against the file.
bool MadeForAnotherBootLoader(const std::string& path, const std::string& loader,
                              const std::string& language);

// The default template for the boot language `boot`, as FindBootLanguage found it.
TDefaultTemplate ChooseDefaultTemplate(const platform::TBootLanguage& boot,
                                       const TBackupLookup& backup_of);

// The default template of this Windows: its boot language (the boot configuration read only
// where the process may read it, as an administrator), its language file, its backup.
TDefaultTemplate FindDefaultTemplate();

// The boot language of this Windows as this process can tell it: the boot configuration's
// locale is readable by administrators only; others fall back to the install language.
platform::TBootLanguage FindThisBootLanguage();

}  // namespace marivane
