// libFuzzer target for the resource-only module reader and the language template made from
// what it reads. EModuleError (a refused file) and EDirectoryOverflow (a tree too big for the
// space in front of the slot) are fine answers; any other exception escaping, a crash, a
// sanitizer report, a hang or an allocation past the reader's caps is a fault.
#include <cstddef>
#include <cstdint>
#include <span>

#include "module/language_template.h"
#include "module/resource_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace marivane::module;
  const std::span<const std::uint8_t> file(data, size);
  try {
    std::uint64_t total = 0;
    for (const TResource& resource : ReadResourceModule(file)) total += resource.data.size();
    if (total > kMaxResourceBytes) __builtin_trap();
    BuildLanguageTemplate(file);
  } catch (const EModuleError&) {
  } catch (const EDirectoryOverflow&) {
  }
  return 0;
}
