#include "builder/boot_screen_builder.h"

#include "base/errors.h"
#include "platform/wimgapi.h"

namespace marivane {
namespace {

bool HasSlotSize(const TPicture& picture, TSlot slot) {
  const TSize required = SlotSize(slot);
  return picture.width() == required.width && picture.height() == required.height;
}

}  // namespace

bool FitsSlot(const TPicture& picture, TSlot slot) {
  return HasSlotSize(picture, slot) && picture.kind() == TPictureKind::Bitmap &&
         picture.pixel_format() == TPixelFormat::Bit24;
}

void TBootScreenBuilder::LoadSlotFile(TSlot slot, const std::string& path) {
  // The path and the picture must always describe the same file, since a save copies the file
  // the path names after judging the picture: a load that fails leaves both as they were.
  std::string& slot_path = PathOf(slot);
  const std::string previous = slot_path;
  slot_path = path;
  try {
    LoadPictureFile(PictureOf(slot), path);
  } catch (...) {
    slot_path = previous;
    throw;
  }
  PictureChanged(slot);
}

void TBootScreenBuilder::LoadBrowsedFile(TSlot slot, const std::string& path) {
  LoadSlotFile(slot, path);
  if (!IsSlotValid(slot)) ShowRejection(slot);
}

void TBootScreenBuilder::LoadDroppedFile(TSlot slot, const std::string& path) {
  try {
    LoadSlotFile(slot, path);
  } catch (const EInvalidGraphic&) {
    ui_.ShowMessage(kUnsupportedDropMessage);
    return;
  }
  if (!IsSlotValid(slot)) ShowRejection(slot);
}

bool TBootScreenBuilder::IsSlotValid(TSlot slot) {
  TPicture& picture = PictureOf(slot);
  // An icon or a metafile of the slot's size really is taken as a bitmap, which empties it: the
  // preview shows that. One of another size stays as it was.
  if (HasSlotSize(picture, slot) && picture.kind() != TPictureKind::Bitmap) {
    picture.TakeAsBitmap();
    PictureChanged(slot);
  }
  return FitsSlot(picture, slot);
}

void TBootScreenBuilder::ShowRejection(TSlot slot) {
  ui_.ShowMessage(slot == TSlot::Small ? kSmallRejectionMessage : kBigRejectionMessage);
}

bool TBootScreenBuilder::ValidateInputs() {
  if (!IsSmallImageValid()) {
    ShowRejection(TSlot::Small);
    return false;
  }
  if (!IsBigImageValid()) {
    ShowRejection(TSlot::Big);
    return false;
  }
  if (!wimgapi::WIMGAPILoaded) {
    ui_.ShowMessage(kWimgapiMissingMessage);
    return false;
  }
  return true;
}

}  // namespace marivane
