#include "cli/pictures.h"

#include <algorithm>

#include "cli/cli_texts.h"

#include "platform/file_replacement.h"
#include "platform/platform.h"

namespace marivane::cli {
namespace {

std::size_t IndexOf(std::span<const std::string_view> names, std::string_view name) {
  return static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

}  // namespace

TSlot SlotNamed(std::string_view name) { return name == kSlotNames[0] ? TSlot::Small : TSlot::Big; }

TImportMode ModeNamed(std::string_view name) {
  constexpr TImportMode kModes[] = {TImportMode::Fill, TImportMode::Fit, TImportMode::Stretch};
  return kModes[std::min(IndexOf(kModeNames, name), std::size(kModes) - 1)];
}

TSize PreparePicture(const std::string& source, TSlot slot, TImportMode mode,
                     const std::string& output) {
  const TRgbImage upright = LoadImportPicture(source);
  const TSize size = SlotSize(slot);
  platform::WriteFileAtomically(output,
                                EncodeBitmap24(ScaleToSlot(upright, size.width, size.height, mode)));
  return {upright.width, upright.height};
}

std::string PreparedFileName(const std::string& source, TSlot slot) {
  const TSize size = SlotSize(slot);
  const std::string path = PreparedPictureName(source, size.width, size.height);
  return path.substr(path.find_last_of("/\\:") + 1);  // npos + 1 == 0
}

std::string Description(const TPicture& picture) {
  return DescriptionText(PictureKindName(picture.kind()), picture.width(), picture.height(),
                         picture.kind() == TPictureKind::Bitmap
                             ? PixelFormatName(picture.pixel_format())
                             : nullptr);
}

}  // namespace marivane::cli
