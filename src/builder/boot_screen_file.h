// Where the WIM goes in the boot screen file: a fixed slot cut out of the template, whose
// headers already describe the finished file.
#pragma once

#include <cstdint>
#include <vector>

#include "module/template_layout.h"

namespace marivane {

using module::kChecksumFieldOffset;
using module::kSlotOffset;
using module::kSlotSize;
using module::kSlotSizeFieldOffset;

// The template with the WIM inserted at the slot and padded with zeros to the slot's size,
// and the WIM's length in the size field. The WIM must fit; a template shorter than the slot
// offset raises EReadError.
std::vector<std::uint8_t> SpliceIntoTemplate(std::vector<std::uint8_t> file,
                                             const std::vector<std::uint8_t>& wim);

}  // namespace marivane
