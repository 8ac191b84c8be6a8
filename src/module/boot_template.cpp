#include "module/boot_template.h"

#include <algorithm>
#include <set>
#include <string>

#include "marivane_version.h"
#include "module/mui_config.h"
#include "module/pe_format.h"
#include "module/version_info.h"

namespace marivane::module {

namespace {

// The version of the Marivane that made the file, as its own programs carry it.
TVersionInfo TemplateVersion() {
  TVersionInfo info;
  info.file_version = {MARIVANE_VERSION_MAJOR, MARIVANE_VERSION_MINOR, MARIVANE_VERSION_PATCH, 0};
  info.product_version = info.file_version;
  info.language = kTemplateLanguage;
  info.strings = {
      {"CompanyName", "Marivane project"},
      {"FileDescription", "Boot screen made with Marivane"},
      {"FileVersion", MARIVANE_VERSION_RECORD},
      {"InternalName", "winload"},
      {"LegalCopyright", "Marivane project"},
      // A language file carries the name of the file it belongs to plus ".mui".
      {"OriginalFilename", "winload.exe.mui"},
      {"ProductName", "Marivane"},
      {"ProductVersion", MARIVANE_VERSION_RECORD},
  };
  return info;
}

// The configuration lists every type in the file itself, "MUI" included. Named types come in
// directory order with "MUI" last and numeric ones ascending, as in Microsoft's own dumps.
TMuiConfig TemplateMuiConfig(std::span<const TResource> extras) {
  std::set<std::string> named;
  std::set<std::uint32_t> ids{kTypeRcdata, kTypeVersion};
  for (const TResource& resource : extras) {
    if (resource.type.IsNamed()) {
      const std::u16string& name = resource.type.name();
      named.insert(std::string(name.begin(), name.end()));  // printable ASCII by construction
    } else {
      ids.insert(resource.type.id());
    }
  }
  named.erase(kTypeMui);
  TMuiConfig config;
  config.main_name_types.assign(named.begin(), named.end());
  config.main_name_types.push_back(kTypeMui);
  config.main_id_types.assign(ids.begin(), ids.end());
  config.language = "en-US";
  return config;
}

}  // namespace

TSlotModule BuildBootTemplate(std::span<const TResource> extra_after_slot) {
  std::vector<TResource> after_slot;
  after_slot.push_back(
      {kTypeVersion, kResourceName, kTemplateLanguage, BuildVersionInfo(TemplateVersion())});
  after_slot.push_back({TResourceKey::Named(kTypeMui), kResourceName, kTemplateLanguage,
                        BuildMuiConfig(TemplateMuiConfig(extra_after_slot))});
  after_slot.insert(after_slot.end(), extra_after_slot.begin(), extra_after_slot.end());
  const TSlotResource slot{kTypeRcdata, kResourceName, kTemplateLanguage};
  return BuildSlotModule(slot, after_slot, TModuleStamp{kTemplateTimeDateStamp});
}

}  // namespace marivane::module
