// What the boot configuration (BCD) of the running Windows tells the boot loader, read through
// Windows' own WMI provider for it (root\WMI, BcdStore), never by parsing bcdedit's translated
// text; and the one change made to it, quiet boot, through bcdedit.exe.
//
// The provider answers administrators only, with the backup and restore privileges enabled
// (ReadBootConfiguration enables them where the token holds them). Not elevated, on Linux, and
// under Wine (which has no BcdStore class at all) the answer is "cannot read".
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/system_program.h"

namespace marivane::platform {

// BcdLibraryString_PreferredLocale, `locale`: the language of the boot loader's texts and of
// the winload.exe.mui it reads.
inline constexpr std::uint32_t kBcdPreferredLocale = 0x12000005;
// BcdOSLoaderBoolean_DisableBootDisplay, bcdedit's `quietboot` and MSCONFIG's "No GUI boot":
// the boot screen picture shows only while it is on. Absent means off.
inline constexpr std::uint32_t kBcdQuietBoot = 0x26000041;

enum class TBootValue {
  Present,     // the entry, or an entry it inherits from, has the element
  Absent,      // the configuration was read and has no such element
  CannotRead,  // the configuration could not be read; TBootConfiguration::problem says why
};

enum class TQuietBoot { Off, On, CannotRead };

struct TBootConfiguration {
  TBootValue locale_state = TBootValue::CannotRead;
  std::string locale;  // Present: "de-DE", as the configuration holds it (unchecked)
  TQuietBoot quiet_boot = TQuietBoot::CannotRead;  // an absent element is Off
  // For the record, when something could not be read: the step and the code, such as
  // "BcdStore: 0x80041002" (no such class) or "no answer within 20 s".
  std::string problem;
};

// Long enough for a WMI service that is slow to start; a hung one must not hang the program.
inline constexpr std::chrono::milliseconds kBootConfigurationTimeout{20000};

// Reads both elements of the current boot entry ({current}, and the entries its `inherit`
// list names, in order) in one session, on a thread of its own so that the caller's COM
// apartment is left as it is. After `timeout` it gives up with CannotRead; the reading thread
// is then left to finish on its own.
TBootConfiguration ReadBootConfiguration(
    std::chrono::milliseconds timeout = kBootConfigurationTimeout);

// --- The boot language ---

enum class TBootLanguageSource {
  BootConfiguration,  // the locale element of the current boot entry
  InstallLanguage,    // the language Windows was installed in (InstallLanguageName)
  Default,            // en-US
  None,               // no candidate has a language file: `language` is empty
};

struct TBootLanguage {
  std::string language;  // "de-DE"
  TBootLanguageSource source = TBootLanguageSource::None;
  // The candidates tried before it, in order, that had no System32\<it>\winload.exe.mui (or
  // were no language name at all).
  std::vector<std::string> passed_over;
};

// The language whose winload.exe.mui the boot loader reads: the configuration's locale where it
// was read, else the install language, else en-US; a candidate counts only where
// System32\<it>\winload.exe.mui exists.
TBootLanguage FindBootLanguage(const TBootConfiguration& configuration);

// The same rule, apart from the system: `has_language_file` says whether a candidate (already
// checked to be a language name) has its language file.
TBootLanguage ChooseBootLanguage(const TBootConfiguration& configuration,
                                 const std::string& install_language,
                                 const std::function<bool(const std::string&)>& has_language_file);

// --- Quiet boot ---

enum class TSwitch { Off, On };

// Long enough for bcdedit on a slow disk.
inline constexpr std::chrono::milliseconds kBcdeditTimeout{60000};

// Runs System32\bcdedit.exe /set {current} quietboot on (or off). It worked when the run
// Exited with exit code 0. NotStarted with the system's "file not found" code where there is
// no bcdedit.exe, as on Linux.
TProgramRun SetQuietBoot(TSwitch state, std::chrono::milliseconds timeout = kBcdeditTimeout);

}  // namespace marivane::platform
