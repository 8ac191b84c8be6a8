// libFuzzer target for the Linux decoders of pictures to import (libpng, libjpeg-turbo, giflib,
// libtiff behind our callbacks, and our own bitmap and icon decoders) and for the EXIF
// orientation reader. The decoder is picked by the file's own first bytes. EInvalidGraphic is
// the one fine refusal; anything else (a crash, a sanitizer report, a leak, a hang, an
// allocation past the pixel cap) is a fault.
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/errors.h"
#include "builder/picture_import.h"
#include "platform/picture_decoder_posix.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> file(data, size);
  const int orientation = marivane::ExifOrientation(file);
  if (orientation < 1 || orientation > 8) __builtin_trap();
  try {
    const marivane::platform::TDecodedPicture picture =
        marivane::platform::DecodePictureBytes(file, "fuzz");
    const std::uint64_t pixels = static_cast<std::uint64_t>(picture.width) * picture.height;
    if (picture.width <= 0 || picture.height <= 0 ||
        pixels > marivane::platform::kMaxDecodedPixels || picture.bgra.size() != pixels * 4)
      __builtin_trap();
    // Small pictures go on through the turn and the scaling, which index by the decoded
    // size (a strip of one row tests the scaling's extremes); large ones would only slow the
    // search down.
    if (pixels <= 65536) {
      const marivane::TRgbImage upright = marivane::UprightOpaque(picture, orientation);
      if (upright.bgr.size() != pixels * 3) __builtin_trap();
      static constexpr marivane::TImportMode kModes[] = {
          marivane::TImportMode::Fill, marivane::TImportMode::Fit, marivane::TImportMode::Stretch};
      // A tenth of a slot each way: the same arithmetic, a hundredth of the time.
      const marivane::TRgbImage scaled = marivane::ScaleToSlot(upright, 80, 60, kModes[size % 3]);
      if (scaled.bgr.size() != 80 * 60 * 3) __builtin_trap();
    }
  } catch (const marivane::EInvalidGraphic&) {
  }
  return 0;
}
