#include "module/module_facts.h"

#include "module/pe_format.h"
#include "module/template_layout.h"

namespace marivane::module {

namespace {

// The one resource of `type`/1, or nothing when there is none. `what` names it for the text
// raised when there are several.
const TReadResource* OnlyOne(const TReadModule& module, const TResourceKey& type,
                             const std::string& what, const char* expected) {
  const TReadResource* found = nullptr;
  std::size_t count = 0;
  for (const TReadResource& read : module.resources) {
    if (read.resource.type != type || read.resource.name != TResourceKey(kResourceName)) continue;
    found = &read;
    ++count;
  }
  if (count > 1)
    throw EModuleError("the module holds " + what + " in " + std::to_string(count) +
                       " languages; " + expected);
  return found;
}

// Finds the one `type`/1 and runs its reader; several of it, or a refusal of the reader,
// becomes the problem.
template <typename TValue, typename TReader>
void ReadPart(const TReadModule& module, const TResourceKey& type, const std::string& what,
              TReader reader, std::optional<TValue>& value, std::string& problem) {
  try {
    if (const TReadResource* read = OnlyOne(module, type, what, "a module has it once"))
      value = reader(read->resource.data);
  } catch (const EModuleError& refused) {
    problem = refused.what();
  }
}

// The boot screen's data copied, or with `take`, moved out of the module: some megabytes.
std::optional<TBootScreenResource> BootScreenOf(const TReadModule& module, TBytes* take) {
  const TReadResource* read =
      OnlyOne(module, kTypeRcdata, "RCDATA 1", "a language file has it once");
  if (read == nullptr) return std::nullopt;
  const TResourceLocation& where = read->location;
  TBytes data = take != nullptr ? std::move(*take) : read->resource.data;
  return TBootScreenResource{
      read->resource.language, read->resource.code_page, where, std::move(data),
      where.data_entry_offset == kSlotDataEntryOffset && where.data_offset == kSlotOffset};
}

}  // namespace

std::optional<TBootScreenResource> FindBootScreen(const TReadModule& module) {
  return BootScreenOf(module, nullptr);
}

TModuleFacts ReadModuleFacts(std::span<const std::uint8_t> file, TModuleKind kind) {
  TReadModule module = ReadModule(file, kind);
  TModuleFacts facts;
  facts.machine = module.machine;
  try {
    // The module goes with this function: its copy of the data is taken, not copied again.
    TBytes* data = nullptr;
    for (TReadResource& read : module.resources)
      if (read.resource.type == kTypeRcdata && read.resource.name == TResourceKey(kResourceName))
        data = &read.resource.data;
    facts.boot_screen = BootScreenOf(module, data);
  } catch (const EModuleError& several) {
    facts.boot_screen_problem = several.what();
  }
  ReadPart(module, TResourceKey::Named(kTypeMui), "its MUI configuration", ReadMuiConfig,
           facts.mui_config, facts.mui_config_problem);
  ReadPart(module, kTypeVersion, "its version resource", ReadVersionInfo, facts.version,
           facts.version_problem);
  return facts;
}

std::optional<std::string> SlotSizeProblem(const TBootScreenResource& boot_screen,
                                           std::optional<std::uint64_t> content_length) {
  if (!boot_screen.in_slot) return std::nullopt;
  const std::uint32_t size = boot_screen.location.size;
  const std::string field = "the boot screen's size field at " +
                            std::to_string(kSlotSizeFieldOffset) + " says " +
                            std::to_string(size) + " bytes";
  if (size > kSlotSize)
    return field + ", more than its slot of " + std::to_string(kSlotSize) + " holds";
  if (content_length && *content_length != size)
    return field + ", but the WIM in it is " + std::to_string(*content_length) + " bytes long";
  return std::nullopt;
}

}  // namespace marivane::module
