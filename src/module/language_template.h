// A template made from the user's own language file: the source's boot screen data (RCDATA 1)
// is dropped and its slot laid out in the source's language, and every other resource (the MUI
// configuration with its checksums, the version, strings, message tables) is carried over byte
// for byte after the slot, so that the loader still pairs the result with the user's own
// language-neutral boot loader.
#pragma once

#include <cstdint>
#include <span>

#include "module/resource_module.h"
#include "module/resource_reader.h"

namespace marivane::module {

struct TLanguageTemplate {
  TSlotModule module;
  std::uint16_t language = 0;  // the source's RCDATA 1 language, now the slot's
  std::size_t carried = 0;     // resources carried over besides the slot
};

// A language file that the reader takes, but without a boot screen to replace.
class ENoBootScreen : public EModuleError {
 public:
  using EModuleError::EModuleError;
};

// Raises EModuleError for a source the reader refuses or one with RCDATA 1 more than once,
// ENoBootScreen for one without it, and
// EDirectoryOverflow when the carried resources' directory does not fit in front of the slot.
TLanguageTemplate BuildLanguageTemplate(std::span<const std::uint8_t> source);

}  // namespace marivane::module
