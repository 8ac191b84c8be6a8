// libFuzzer target for the module reader in both of its kinds, the language template made from
// what it reads, the readers of the MUI configuration and the version resource and the pairing
// of what they read. The input is read as a module and, whole, as the data of a MUI
// configuration and of a version resource, so that mutations reach those readers directly too.
// EModuleError (a refused file) and EDirectoryOverflow (a tree too big for the space in front
// of the slot) are fine answers; any other exception escaping, a crash, a sanitizer report, a
// hang or an allocation past the reader's caps is a fault.
#include <cstddef>
#include <cstdint>
#include <span>

#include "module/language_template.h"
#include "module/module_facts.h"
#include "module/pairing.h"
#include "module/resource_reader.h"

namespace {

using namespace marivane::module;

template <typename TRead>
void Refusable(TRead read) {
  try {
    read();
  } catch (const EModuleError&) {
  } catch (const EDirectoryOverflow&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> file(data, size);
  Refusable([&] {
    std::uint64_t total = 0;
    for (const TResource& resource : ReadResourceModule(file)) total += resource.data.size();
    if (total > kMaxResourceBytes) __builtin_trap();
    BuildLanguageTemplate(file);
  });
  Refusable([&] {
    const TModuleFacts facts = ReadModuleFacts(file, TModuleKind::kImageWithCode);
    if (facts.boot_screen) SlotSizeProblem(*facts.boot_screen, size);
    // The same module on both sides: a pairing must say something about whatever it read.
    const TPairingVerdict verdict = JudgePairing(facts, "en-US", facts);
    if (verdict.pairing != TPairing::kPairs && verdict.reasons.empty()) __builtin_trap();
  });
  Refusable([&] { ReadMuiConfig(file); });
  Refusable([&] { ReadVersionInfo(file); });
  return 0;
}
