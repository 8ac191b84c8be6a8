#include "module/pairing.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "base/hex_text.h"
#include "module/resource_reader.h"

namespace marivane::module {

namespace {

std::string ChecksumText(const std::array<std::uint8_t, 16>& checksum) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::uint8_t byte : checksum) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0xF]);
  }
  return text;
}

// The loader compares language names case-insensitively; they are ASCII ("en-US"), so folding
// ASCII letters is all it takes. Any other byte must be equal.
bool SameLanguageName(std::string_view a, std::string_view b) {
  const auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return fold(x) == fold(y); });
}

// "it has no MUI configuration", or why the one it has cannot be used: "its MUI
// configuration cannot be used: the MUI configuration's version is 0x20000, not 0x10000".
std::string Lacking(const char* owner, const char* owners, const char* part,
                    const std::string& problem) {
  return problem.empty() ? std::string(owner) + " has no " + part
                         : std::string(owners) + " " + part + " cannot be used: " + problem;
}

class TJudgement {
 public:
  TPairingVerdict Verdict() {
    TPairingVerdict verdict;
    if (!failed_.empty()) {
      verdict.pairing = TPairing::kDoesNotPair;
      verdict.reasons = std::move(failed_);
    } else if (!unknown_.empty()) {
      verdict.pairing = TPairing::kCannotTell;
      verdict.reasons = std::move(unknown_);
    } else {
      verdict.pairing = TPairing::kPairs;
    }
    return verdict;
  }

  void Fail(std::string reason) { failed_.push_back(std::move(reason)); }
  void Unknown(std::string reason) { unknown_.push_back(std::move(reason)); }

 private:
  std::vector<std::string> failed_;
  std::vector<std::string> unknown_;
};

void JudgeConfigurations(const TModuleFacts& file, std::string_view folder,
                         const TModuleFacts& loader, TJudgement& judgement) {
  const std::optional<TMuiConfig>& mine = file.mui_config;
  if (!mine) {
    judgement.Fail(Lacking("it", "its", "MUI configuration", file.mui_config_problem));
  } else {
    if (!(mine->file_type & kMuiFileTypeLanguageSpecific))
      judgement.Fail("its MUI configuration is not a language file's (file type " +
                     HexNumber(mine->file_type) + ")");
    if (mine->language.empty())
      judgement.Fail("its MUI configuration names no language");
    else if (!SameLanguageName(mine->language, folder))
      judgement.Fail("its language is " + mine->language + ", but its folder is named \"" +
                     std::string(folder) + "\"");
  }

  const std::optional<TMuiConfig>& theirs = loader.mui_config;
  if (!theirs) {
    judgement.Unknown(Lacking("winload.exe", "winload.exe's", "MUI configuration",
                              loader.mui_config_problem) +
                      ", so the checksums cannot be compared");
    return;
  }
  if (!(theirs->file_type & kMuiFileTypeLanguageNeutral))
    judgement.Fail("winload.exe's MUI configuration is not a language-neutral file's (file type " +
                   HexNumber(theirs->file_type) + ")");
  if (!mine) return;
  if (mine->checksum != theirs->checksum)
    judgement.Fail("its main checksum (at 0x2C) is " + ChecksumText(mine->checksum) +
                   ", winload.exe's is " + ChecksumText(theirs->checksum));
  if (mine->service_checksum != theirs->service_checksum)
    judgement.Fail("its service checksum (at 0x1C) is " + ChecksumText(mine->service_checksum) +
                   ", winload.exe's is " + ChecksumText(theirs->service_checksum));
}

void JudgeVersions(const TModuleFacts& file, const TModuleFacts& loader,
                   TJudgement& judgement) {
  if (!file.version)
    judgement.Fail(Lacking("it", "its", "version resource", file.version_problem));
  if (!loader.version) {
    judgement.Unknown(Lacking("winload.exe", "winload.exe's", "version resource",
                              loader.version_problem) +
                      ", so the file versions cannot be compared");
    return;
  }
  if (file.version && file.version->file_version != loader.version->file_version)
    judgement.Fail("its file version is " + VersionText(file.version->file_version) +
                   ", winload.exe's is " + VersionText(loader.version->file_version));
}

}  // namespace

TPairingVerdict JudgePairing(const TModuleFacts& language_file, std::string_view folder,
                             const TModuleFacts& loader) {
  TJudgement judgement;
  JudgeConfigurations(language_file, folder, loader, judgement);
  JudgeVersions(language_file, loader, judgement);
  return judgement.Verdict();
}

}  // namespace marivane::module
