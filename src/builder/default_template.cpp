#include "builder/default_template.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include "base/errors.h"
#include "builder/boot_screen_backup.h"
#include "builder/boot_screen_inspection.h"
#include "builder/language_file.h"
#include "module/module_facts.h"
#include "module/pairing.h"
#include "platform/platform.h"
#include "platform/system_facts.h"
#include "platform/system_languages.h"
#include "platform/windows_tree.h"

namespace marivane {
namespace {

// Both read whole, or nothing: a file that cannot be read is not one to take.
bool ReadBoth(const std::string& first, const std::string& second,
              std::vector<std::uint8_t>& first_bytes, std::vector<std::uint8_t>& second_bytes) {
  try {
    first_bytes = platform::ReadWholeFile(first);
    second_bytes = platform::ReadWholeFile(second);
    return true;
  } catch (const Exception&) {
    return false;
  }
}

bool MadeForAnotherLoader(const std::vector<std::uint8_t>& file, const std::string& loader,
                          const std::string& language) {
  try {
    const module::TModuleFacts file_facts =
        module::ReadModuleFacts(file, module::TModuleKind::kResourceOnly);
    const module::TModuleFacts loader_facts =
        module::ReadModuleFacts(ReadBootLoader(loader), module::TModuleKind::kImageWithCode);
    return module::JudgePairing(file_facts, language, loader_facts).pairing ==
           module::TPairing::kDoesNotPair;
  } catch (const Exception&) {
    return false;
  }
}

}  // namespace

bool MadeForAnotherBootLoader(const std::string& path, const std::string& loader,
                              const std::string& language) {
  try {
    return MadeForAnotherLoader(platform::ReadWholeFile(path), loader, language);
  } catch (const Exception&) {
    return false;
  }
}

bool BackupServesForFileInPlace(const std::string& backup, const std::string& in_place,
                                const std::string& loader, const std::string& language) {
  std::vector<std::uint8_t> original, current;
  if (!ReadBoth(backup, in_place, original, current)) return false;
  // Windows' own file in place, the original put back or never replaced: it serves itself.
  if (original == current) return false;
  return !MadeForAnotherLoader(original, loader, language);
}

TDefaultTemplate ChooseDefaultTemplate(const platform::TBootLanguage& boot,
                                       const TBackupLookup& backup_of) {
  TDefaultTemplate chosen;
  chosen.language = boot.language;
  const std::string loader = platform::SystemBootLoaderPath();
  chosen.unsuited = !boot.language.empty() || (!loader.empty() && platform::FileExists(loader));
  if (boot.language.empty()) {
    if (chosen.unsuited)
      chosen.why_built_in = "no language folder of this Windows holds a winload.exe.mui";
    return chosen;
  }
  const std::string in_place = platform::SystemLanguageFilePath(boot.language);
  const std::string backup = backup_of(boot.language);
  struct TCandidate {
    std::string path;
    TDefaultTemplateSource source;
  };
  std::vector<TCandidate> candidates;
  if (!backup.empty() && BackupServesForFileInPlace(backup, in_place, loader, boot.language))
    candidates.push_back({backup, TDefaultTemplateSource::Backup});
  candidates.push_back({in_place, TDefaultTemplateSource::SystemFile});
  for (const TCandidate& candidate : candidates) {
    const TDerivedTemplate derived = DeriveLanguageTemplate(candidate.path);
    if (derived.made) {
      chosen.source = candidate.source;
      chosen.path = candidate.path;
      chosen.why_built_in.clear();
      return chosen;
    }
    // The file in place is the last word on why.
    chosen.why_built_in = DerivedTemplateProblem(derived, candidate.path);
  }
  return chosen;
}

platform::TBootLanguage FindThisBootLanguage() {
  // Asked as anyone else, the provider refuses after a round trip to the WMI service, which
  // may first have to start: not worth the wait.
  const platform::TBootConfiguration configuration =
      platform::ProcessElevation() == platform::TElevation::Elevated
          ? platform::ReadBootConfiguration()
          : platform::TBootConfiguration{};
  return platform::FindBootLanguage(configuration);
}

std::string CompleteBackupOf(const std::string& language) {
  const std::unique_ptr<platform::TWindowsTree> windows = platform::RunningWindows();
  if (!windows) return std::string();
  try {
    const std::string folder = windows->BackupFolder(language, false);
    return ReadCompleteBackup(folder) ? InFolder(folder, kBackupOriginalName) : std::string();
  } catch (const Exception&) {
    return std::string();
  }
}

TDefaultTemplate FindDefaultTemplate() {
  return ChooseDefaultTemplate(FindThisBootLanguage(), CompleteBackupOf);
}

}  // namespace marivane
