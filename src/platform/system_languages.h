// The Windows installation's own language files (%windir%\System32\<language>\winload.exe.mui),
// the language names the system knows, and the few values the window remembers between runs
// (HKEY_CURRENT_USER\Software\Marivane). Only these paths are ever looked at under the Windows
// folder, and only for reading; elsewhere than on Windows there are none.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace marivane::platform {

// False where there is no Windows folder to look in.
extern const bool kHasSystemLanguageFiles;

struct TSystemLanguageFile {
  std::string language;  // the folder's name, "de-DE"
  std::string path;
};

// Each folder of System32 that holds a winload.exe.mui, in the order the system lists them.
// Nothing is opened: whether a file can serve is for its reader to say.
std::vector<TSystemLanguageFile> SystemLanguageFiles();

// The language file for `language` ("de-DE"), whether it exists or not; empty when the name is
// not one (letters, digits and inner hyphens only, so that no other path under the Windows
// folder can be reached through it) or there is no Windows folder.
std::string SystemLanguageFilePath(const std::string& language);

// The boot loader of this installation, %windir%\System32\winload.exe, whether it exists or
// not; empty where there is no Windows folder.
std::string SystemBootLoaderPath();

// The language Windows was installed in, as a folder name ("de-DE"); empty when unknown. The
// boot loader reads the language file of the boot language, which is this one unless the boot
// configuration names another, and never the language a user has picked for their own
// windows.
std::string InstallLanguageName();

// A language id as a folder name (0x0407 -> "de-DE"), and as the user reads its name
// ("German (Germany)"); empty when the system does not know the id.
std::string LanguageFolderName(std::uint16_t language);
std::string LanguageDisplayName(std::uint16_t language);
// The name the user reads for a folder's language ("de-DE" -> "German (Germany)"); empty when
// the system does not know it.
std::string FolderLanguageDisplayName(const std::string& folder);

// A string value under HKEY_CURRENT_USER\Software\Marivane, however long: none when it is not
// there or cannot be read (an empty value is one). Writing creates the key; false when the
// system refused.
std::optional<std::string> ReadUserSetting(const std::string& name);
bool WriteUserSetting(const std::string& name, const std::string& value);

// Whether `name` has the shape of a language folder's name.
bool IsLanguageName(const std::string& name);

}  // namespace marivane::platform
