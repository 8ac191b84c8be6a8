// No Windows folder and no registry here: a Windows partition's language file is named to
// `marivane-cli template SOURCE` instead.
#include "platform/system_languages.h"

namespace marivane::platform {

const bool kHasSystemLanguageFiles = false;

std::vector<TSystemLanguageFile> SystemLanguageFiles() { return {}; }
std::string SystemLanguageFilePath(const std::string&) { return ""; }
std::string SystemBootLoaderPath() { return ""; }
std::string InstallLanguageName() { return ""; }
std::string LanguageFolderName(std::uint16_t language) {
  // Without the system's locale data: the languages Vista's boot loader comes in, by the ids
  // their language files carry.
  struct TNamed {
    std::uint16_t id;
    const char* name;
  };
  static constexpr TNamed kVistaLanguages[] = {
      {0x0401, "ar-SA"}, {0x0402, "bg-BG"}, {0x0404, "zh-TW"}, {0x0405, "cs-CZ"},
      {0x0406, "da-DK"}, {0x0407, "de-DE"}, {0x0408, "el-GR"}, {0x0409, "en-US"},
      {0x040B, "fi-FI"}, {0x040C, "fr-FR"}, {0x040D, "he-IL"}, {0x040E, "hu-HU"},
      {0x0410, "it-IT"}, {0x0411, "ja-JP"}, {0x0412, "ko-KR"}, {0x0413, "nl-NL"},
      {0x0414, "nb-NO"}, {0x0415, "pl-PL"}, {0x0416, "pt-BR"}, {0x0418, "ro-RO"},
      {0x0419, "ru-RU"}, {0x041A, "hr-HR"}, {0x041B, "sk-SK"}, {0x041D, "sv-SE"},
      {0x041E, "th-TH"}, {0x041F, "tr-TR"}, {0x0422, "uk-UA"}, {0x0424, "sl-SI"},
      {0x0425, "et-EE"}, {0x0426, "lv-LV"}, {0x0427, "lt-LT"}, {0x0804, "zh-CN"},
      {0x0816, "pt-PT"}, {0x081A, "sr-Latn-CS"}, {0x0C04, "zh-HK"}, {0x0C0A, "es-ES"},
  };
  for (const TNamed& known : kVistaLanguages)
    if (known.id == language) return known.name;
  return "";
}
std::string LanguageDisplayName(std::uint16_t) { return ""; }
std::string FolderLanguageDisplayName(const std::string&) { return ""; }
std::optional<std::string> ReadUserSetting(const std::string&) { return std::nullopt; }
bool WriteUserSetting(const std::string&, const std::string&) { return false; }

}  // namespace marivane::platform
