// The Linux decoders behind DecodePictureFile, on a file already in memory, so that the fuzz
// target can reach them without a file. `name` is the file's name as the user gave it; every
// refusal is an EInvalidGraphic whose text names it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/picture_decoder.h"

namespace marivane::platform {

// Picks the decoder by the file's first bytes, never by its extension: a JPEG saved as .png
// is still decoded.
TDecodedPicture DecodePictureBytes(std::span<const std::uint8_t> file, const std::string& name);

// Our own decoders for Windows bitmaps (any depth, run-length data, colour masks) and icons
// (the largest image; a PNG image goes back to DecodePictureBytes).
TDecodedPicture DecodeBitmapBytes(std::span<const std::uint8_t> file, const std::string& name);
TDecodedPicture DecodeIconBytes(std::span<const std::uint8_t> file, const std::string& name);

}  // namespace marivane::platform
