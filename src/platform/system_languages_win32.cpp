#include "platform/system_languages.h"

#include <windows.h>

#include "platform/win32_handles.h"

namespace marivane::platform {

namespace {

constexpr char kSettingsKey[] = "Software\\Marivane";
constexpr char kLanguageFileName[] = "winload.exe.mui";
// LOCALE_SNAME, "de-DE": Vista's, and what the language folders are named after.
constexpr LCTYPE kLocaleName = 0x5C;

std::string SystemFolder() {
  char folder[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length > MAX_PATH) return "";
  return std::string(folder, length);
}

std::string LocaleText(LCID locale, LCTYPE what) {
  char text[128] = {};
  const int length = GetLocaleInfoA(locale, what, text, sizeof(text));
  return length > 1 ? std::string(text, static_cast<std::size_t>(length - 1)) : "";
}

}  // namespace

const bool kHasSystemLanguageFiles = true;

std::vector<TSystemLanguageFile> SystemLanguageFiles() {
  std::vector<TSystemLanguageFile> found;
  const std::string system = SystemFolder();
  if (system.empty()) return found;
  WIN32_FIND_DATAA entry{};
  const TSearchHandle find(FindFirstFileA((system + "\\*").c_str(), &entry));
  if (!find) return found;
  do {
    const std::string name = entry.cFileName;
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsLanguageName(name)) continue;
    const std::string path = system + "\\" + name + "\\" + kLanguageFileName;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      found.push_back({name, path});
  } while (FindNextFileA(find.Get(), &entry));
  return found;
}

std::string SystemLanguageFilePath(const std::string& language) {
  const std::string system = SystemFolder();
  if (system.empty() || !IsLanguageName(language)) return "";
  return system + "\\" + language + "\\" + kLanguageFileName;
}

std::string SystemBootLoaderPath() {
  const std::string system = SystemFolder();
  return system.empty() ? "" : system + "\\winload.exe";
}

std::string InstallLanguageName() { return LanguageFolderName(GetSystemDefaultUILanguage()); }

std::string LanguageFolderName(std::uint16_t language) {
  const LCID locale = MAKELCID(language, SORT_DEFAULT);
  std::string name = LocaleText(locale, kLocaleName);
  if (!name.empty()) return name;
  // Before Vista the name comes in two halves.
  const std::string language_part = LocaleText(locale, LOCALE_SISO639LANGNAME);
  const std::string country = LocaleText(locale, LOCALE_SISO3166CTRYNAME);
  return language_part.empty() || country.empty() ? "" : language_part + "-" + country;
}

std::string LanguageDisplayName(std::uint16_t language) {
  return LocaleText(MAKELCID(language, SORT_DEFAULT), LOCALE_SLANGUAGE);
}

std::string FolderLanguageDisplayName(const std::string& folder) {
  if (!IsLanguageName(folder)) return "";
  // LocaleNameToLCID is Vista's; the name is plain ASCII, so widening it is a copy.
  const std::wstring wide(folder.begin(), folder.end());
  const LCID locale = LocaleNameToLCID(wide.c_str(), 0);
  return locale == 0 ? "" : LocaleText(locale, LOCALE_SLANGUAGE);
}

std::optional<std::string> ReadUserSetting(const std::string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return std::nullopt;
  // A value longer than any path the program wrote is read whole all the same: cut short, it
  // would read as no value at all and the choice behind it would be forgotten without a word.
  std::string value;
  DWORD type = 0;
  DWORD size = MAX_PATH;
  LONG status = ERROR_MORE_DATA;
  // Each refusal says the size needed; another program may lengthen the value meanwhile.
  for (int attempt = 0; status == ERROR_MORE_DATA && attempt < 4; ++attempt) {
    value.assign(static_cast<std::size_t>(size) + 1, '\0');
    size = static_cast<DWORD>(value.size());
    status = RegQueryValueExA(key, name.c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(value.data()), &size);
  }
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
  // The stored terminator, if the writer kept it, and anything after it is not the value.
  value.resize(size);
  const std::size_t end = value.find('\0');
  if (end != std::string::npos) value.resize(end);
  return value;
}

bool WriteUserSetting(const std::string& name, const std::string& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  const LONG status = RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

}  // namespace marivane::platform
