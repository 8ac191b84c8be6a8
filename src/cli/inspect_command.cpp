// inspect FILE... [--against WINLOAD.EXE | --system]: each boot screen file's verdict and
// findings, and whether it pairs with the boot loader when one is given.
#include <cstdio>
#include <exception>
#include <optional>
#include <vector>

#include "base/errors.h"
#include "builder/boot_screen_inspection.h"
#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/console.h"

namespace marivane::cli {
namespace {

constexpr TOption kOptions[] = {
    {.name = "--against", .value = "WINLOAD.EXE", .excludes = "--system"},
    {.name = "--system"},
};

std::string FindingText(const TFinding& finding) {
  return finding.detail.empty() ? finding.words : finding.words + " (" + finding.detail + ")";
}

std::string Joined(const std::vector<std::string>& reasons) {
  std::string text;
  for (const std::string& reason : reasons) text += (text.empty() ? "" : "; ") + reason;
  return text;
}

// "PATH: damaged: FIRST PROBLEM (DETAIL)", then every other finding on a line of its own, then
// the pairing. True when the file is good and, with a boot loader given, pairs with it.
bool Report(const std::string& path, const TBootScreenInspection& inspection,
            const std::string& loader) {
  const TFinding* first = inspection.FirstProblem();
  std::printf("%s: %s%s\n", path.c_str(), VerdictName(inspection.verdict),
              first ? (": " + FindingText(*first)).c_str() : "");
  for (const TFinding& finding : inspection.findings)
    if (&finding != first) std::printf("  %s\n", FindingText(finding).c_str());
  if (!inspection.pairing) return inspection.verdict == TBootScreenVerdict::Good;
  const module::TPairingVerdict& pairing = *inspection.pairing;
  switch (pairing.pairing) {
    case module::TPairing::kPairs:
      std::printf("%s\n", PairsLine(loader).c_str());
      break;
    case module::TPairing::kDoesNotPair:
      std::printf("%s\n", DoesNotPairLine(loader, Joined(pairing.reasons)).c_str());
      break;
    case module::TPairing::kCannotTell:
      std::printf("%s\n", CannotTellPairingLine(loader, Joined(pairing.reasons)).c_str());
      break;
  }
  return inspection.verdict == TBootScreenVerdict::Good &&
         pairing.pairing == module::TPairing::kPairs;
}

int Inspect(const TArguments& arguments) {
  std::string loader_path = arguments.Value("--against");
  if (arguments.Has("--system")) {
    loader_path = SystemBootLoader("--system");
    if (loader_path.empty()) return kExitRefused;
  }
  std::optional<std::vector<std::uint8_t>> loader;
  if (!loader_path.empty()) {
    try {
      loader = ReadBootLoader(loader_path);
    } catch (const Exception& unreadable) {
      Say(ErrorText(unreadable));
      return kExitRefused;
    }
  }
  int status = kExitOk;
  for (const std::string& path : arguments.files) {
    TBootScreenInspection inspection;
    try {
      inspection = InspectBootScreenFile(path);
    } catch (const Exception& unreadable) {
      std::printf("%s\n", InspectErrorLine(path, ErrorText(unreadable)).c_str());
      status = kExitRefused;
      continue;
    }
    if (loader) JudgePairingWithLoader(inspection, *loader);
    if (!Report(path, inspection, loader_path)) status = kExitRefused;
  }
  return status;
}

}  // namespace

const TCommand kInspectCommand{.name = "inspect", .options = kOptions, .min_files = 1,
                               .max_files = kAnyNumber, .files = "FILE...", .run = Inspect};

}  // namespace marivane::cli
