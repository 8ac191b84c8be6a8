#include "module/language_template.h"

#include <vector>

#include "module/boot_template.h"
#include "module/module_facts.h"
#include "module/pe_format.h"
#include "module/resource_reader.h"

namespace marivane::module {

TLanguageTemplate BuildLanguageTemplate(std::span<const std::uint8_t> source) {
  TReadModule module = ReadModule(source, TModuleKind::kResourceOnly);
  const std::optional<TBootScreenResource> boot_screen = FindBootScreen(module);
  if (!boot_screen)
    throw ENoBootScreen("the module has no RCDATA resource named 1 (no boot screen)");

  TLanguageTemplate result;
  result.language = boot_screen->language;
  TSlotResource slot{kTypeRcdata, kResourceName, result.language, boot_screen->code_page};
  std::vector<TResource> carried;
  for (TReadResource& read : module.resources) {
    const bool is_boot_screen = read.resource.type == TResourceKey(kTypeRcdata) &&
                                read.resource.name == TResourceKey(kResourceName);
    if (!is_boot_screen) carried.push_back(std::move(read.resource));
  }
  result.carried = carried.size();
  result.module = BuildSlotModule(slot, carried, TModuleStamp{kTemplateTimeDateStamp});
  return result;
}

}  // namespace marivane::module
