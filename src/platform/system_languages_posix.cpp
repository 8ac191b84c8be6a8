// No Windows folder and no registry here: a Windows partition's language file is named to
// `marivane-cli template SOURCE` instead.
#include "platform/system_languages.h"

namespace marivane::platform {

const bool kHasSystemLanguageFiles = false;

std::vector<TSystemLanguageFile> SystemLanguageFiles() { return {}; }
std::string SystemLanguageFilePath(const std::string&) { return ""; }
std::string InstallLanguageName() { return ""; }
std::string LanguageFolderName(std::uint16_t) { return ""; }
std::string LanguageDisplayName(std::uint16_t) { return ""; }
std::string FolderLanguageDisplayName(const std::string&) { return ""; }
std::string ReadUserSetting(const std::string&) { return ""; }
bool WriteUserSetting(const std::string&, const std::string&) { return false; }

}  // namespace marivane::platform
