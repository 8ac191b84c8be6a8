#include "module/language_template.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "module/boot_template.h"
#include "module/resource_reader.h"

namespace marivane::module {

namespace {

constexpr std::uint16_t kTypeRcdata = 10;  // RT_RCDATA
constexpr std::uint16_t kBootScreenName = 1;

bool IsBootScreen(const TResource& resource) {
  return resource.type == TResourceKey(kTypeRcdata) &&
         resource.name == TResourceKey(kBootScreenName);
}

}  // namespace

TLanguageTemplate BuildLanguageTemplate(std::span<const std::uint8_t> source) {
  std::vector<TResource> resources = ReadResourceModule(source);
  const auto slots = std::count_if(resources.begin(), resources.end(), IsBootScreen);
  if (slots == 0) throw ENoBootScreen("the module has no RCDATA resource named 1 (no boot screen)");
  // A language file holds its boot screen in its own language only; with two there would be
  // no telling which one the loader picks, and the other would carry an old picture along.
  if (slots > 1)
    throw EModuleError("the module holds RCDATA 1 in " + std::to_string(slots) +
                       " languages; a language file has it once");
  const auto boot_screen = std::find_if(resources.begin(), resources.end(), IsBootScreen);

  TLanguageTemplate result;
  result.language = boot_screen->language;
  TSlotResource slot{kTypeRcdata, kBootScreenName, result.language, boot_screen->code_page};
  resources.erase(boot_screen);
  result.carried = resources.size();
  result.module = BuildSlotModule(slot, resources, TModuleStamp{kTemplateTimeDateStamp});
  return result;
}

}  // namespace marivane::module
