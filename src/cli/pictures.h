// The pictures of `build`, `check` and `prepare`: the slots and framing modes by the names the
// command line gives them, preparing a picture for a slot, and saying what a file is when a
// slot does not take it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "builder/boot_screen_builder.h"
#include "builder/picture.h"
#include "builder/picture_import.h"

namespace marivane::cli {

// In TSlot's order, and in TImportMode's.
inline constexpr std::string_view kSlotNames[] = {"small", "big"};
inline constexpr std::string_view kModeNames[] = {"fill", "fit", "stretch"};
TSlot SlotNamed(std::string_view name);
TImportMode ModeNamed(std::string_view name);

// The picture decoded, turned upright, scaled to the slot and written to `output` whole or not
// at all. Returns the picture's size once upright; raises what the decoder and the write do.
TSize PreparePicture(const std::string& source, TSlot slot, TImportMode mode,
                     const std::string& output);

// The prepared picture's name without its folder: the default output goes to the current one.
std::string PreparedFileName(const std::string& source, TSlot slot);

// What a loaded picture is, as `check` prints it: "bitmap 800x600 24-bit".
std::string Description(const TPicture& picture);

}  // namespace marivane::cli
