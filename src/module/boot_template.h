// x86template: the boot screen module with its slot cut out. It holds the slot resource
// (RCDATA 1, language 0x0409, the WIM), a version resource naming the Marivane project and the
// MUI configuration of an en-US system language file, plus whatever extra resources a caller
// adds after the slot (string tables, message tables, ...).
#pragma once

#include <cstdint>
#include <span>

#include "module/resource_module.h"

namespace marivane::module {

// 2006-11-08 00:00:00 UTC, the day Vista was released to manufacturing. Fixed so that every
// build writes the same bytes.
constexpr std::uint32_t kTemplateTimeDateStamp = 1162944000;
constexpr std::uint16_t kTemplateLanguage = 0x0409;  // en-US

// Raises what BuildSlotModule raises; extras must not reuse RCDATA 1, VERSION 1 or "MUI" 1 in
// language 0x0409.
TSlotModule BuildBootTemplate(std::span<const TResource> extra_after_slot = {});

}  // namespace marivane::module
