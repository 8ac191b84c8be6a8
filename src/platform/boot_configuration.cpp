// What both platforms decide the same way about the boot configuration: the boot language
// from what was read, and the bcdedit call that turns quiet boot on or off.
#include "platform/boot_configuration.h"

#include "platform/platform.h"
#include "platform/system_languages.h"

namespace marivane::platform {

// The language every Vista comes in, where nothing else names one.
constexpr char kDefaultLanguage[] = "en-US";

TBootLanguage ChooseBootLanguage(const TBootConfiguration& configuration,
                                 const std::string& install_language,
                                 const std::function<bool(const std::string&)>& has_language_file) {
  struct TCandidate {
    std::string language;
    TBootLanguageSource source;
  };
  std::vector<TCandidate> candidates;
  if (configuration.locale_state == TBootValue::Present)
    candidates.push_back({configuration.locale, TBootLanguageSource::BootConfiguration});
  if (!install_language.empty())
    candidates.push_back({install_language, TBootLanguageSource::InstallLanguage});
  candidates.push_back({kDefaultLanguage, TBootLanguageSource::Default});

  TBootLanguage chosen;
  for (const TCandidate& candidate : candidates) {
    // The configuration's text becomes part of a path: only a language's name may.
    if (IsLanguageName(candidate.language) && has_language_file(candidate.language)) {
      chosen.language = candidate.language;
      chosen.source = candidate.source;
      return chosen;
    }
    chosen.passed_over.push_back(candidate.language);
  }
  return chosen;
}

TBootLanguage FindBootLanguage(const TBootConfiguration& configuration) {
  return ChooseBootLanguage(configuration, InstallLanguageName(), [](const std::string& language) {
    const std::string path = SystemLanguageFilePath(language);
    return !path.empty() && FileExists(path);
  });
}

TProgramRun SetQuietBoot(TSwitch state, std::chrono::milliseconds timeout) {
  return RunProgram(SystemProgramPath("bcdedit.exe"),
                    {"/set", "{current}", "quietboot", state == TSwitch::On ? "on" : "off"},
                    timeout);
}

}  // namespace marivane::platform
