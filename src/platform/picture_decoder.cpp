// What every platform's decoder says of a picture it will not decode, in the same words.
#include "platform/picture_decoder.h"

#include "base/errors.h"

namespace marivane::platform {

void RefusePicture(const std::string& name, const std::string& reason) {
  throw EInvalidGraphic("Cannot import \"" + name + "\": " + reason);
}

void CheckPictureSize(const std::string& name, std::uint64_t width, std::uint64_t height) {
  if (width == 0 || height == 0) RefusePicture(name, "the picture has no pixels");
  // Each side is at most 32 bits, so the product fits 64 bits.
  if (width * height > kMaxDecodedPixels) {
    RefusePicture(name, "the picture is " + std::to_string(width) + " x " +
                            std::to_string(height) + " pixels, more than the " +
                            std::to_string(kMaxDecodedPixels / 1'000'000) +
                            " megapixels this program takes");
  }
}

}  // namespace marivane::platform
