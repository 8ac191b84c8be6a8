// The main window's import commands: any picture the system can decode, framed in the mode the
// user picks, scaled to the slot's size, written as a 24-bit bitmap beside it and then browsed
// into the slot like any chosen bitmap, so that the slot's own check has the last word. A photo
// browsed for or dropped on a slot is offered the same way.
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "builder/picture_import.h"
#include "platform/file_replacement.h"
#include "platform/platform.h"
#include "ui/import_dialog.h"
#include "ui/unit1.h"

namespace marivane::ui {
namespace {

// More than any folder holds of one picture's prepared copies; past it the dialog asks plainly.
constexpr int kMaxCopyNumber = 999;

// "NAME (2).EXT" beside "NAME.EXT", the first number that names no file yet; empty when even
// the last one does.
std::string FreeName(const std::string& path) {
  const std::size_t name_start = path.find_last_of("\\/:") + 1;  // npos + 1 == 0
  std::size_t stem_end = path.rfind('.');
  if (stem_end == std::string::npos || stem_end <= name_start) stem_end = path.size();
  for (int number = 2; number <= kMaxCopyNumber; ++number) {
    const std::string candidate = path.substr(0, stem_end) + " (" + std::to_string(number) + ")" +
                                  path.substr(stem_end);
    if (!platform::FileExists(candidate) && !platform::DirectoryExists(candidate)) return candidate;
  }
  return "";
}

// How the slot's own bitmap is called in a question about it.
std::string SlotBitmap(TSlot slot) {
  return slot == TSlot::Small ? kSmallSlotBitmap : kBigSlotBitmap;
}

}  // namespace

void TForm1::Import800x600PictureClick() { ImportPicture(TSlot::Small); }

void TForm1::Import1024x768PictureClick() { ImportPicture(TSlot::Big); }

void TForm1::TakeFile(TSlot slot, const std::string& path, TArrival arrival) {
  if (!PhotoKind(path).empty()) {
    OfferImport(slot, path);
    return;
  }
  if (arrival == TArrival::Browsed)
    LoadBrowsedFile(slot, path);
  else
    LoadDroppedFile(slot, path);
}

void TForm1::OfferImport(TSlot slot, const std::string& path) {
  const std::string name = path.substr(path.find_last_of("\\/:") + 1);  // npos + 1 == 0
  const std::string question =
      kPhotoQuestionStart + name + kPhotoQuestionMiddle + SlotBitmap(slot) + kPhotoQuestionEnd;
  if (application_.ShowMessageBox(question, application_.Title(),
                                  MB_YESNO | MB_ICONQUESTION) == IDYES)
    ImportPictureFile(slot, path);
}

void TForm1::ImportPicture(TSlot slot) {
  ImportDialog.filter = kImportFilter;
  ImportDialog.title = slot == TSlot::Small ? kImportSmallCaption : kImportBigCaption;
  if (ImportDialog.Execute()) ImportPictureFile(slot, ImportDialog.file_name);
}

void TForm1::ImportPictureFile(TSlot slot, const std::string& source) {
  const bool small = slot == TSlot::Small;
  const std::int32_t width = SlotSize(slot).width;
  const std::int32_t height = SlotSize(slot).height;
  const std::string caption = small ? kImportSmallCaption : kImportBigCaption;

  // A file that cannot be decoded raises with a text naming it; the default handler shows it.
  // The busy cursor while a picture is decoded or scaled: a 24-megapixel photo takes a moment.
  TRgbImage picture;
  std::unique_ptr<TImportModeDialog> framing;
  {
    TBusyScope busy(*this);
    picture = LoadImportPicture(source);
    framing = std::make_unique<TImportModeDialog>(picture, caption, source, width, height);
  }
  if (!framing->ShowModal(application_.Handle())) return;

  std::vector<std::uint8_t> bitmap;
  {
    TBusyScope busy(*this);
    bitmap = EncodeBitmap24(ScaleToSlot(picture, width, height, framing->mode()));
  }
  std::string target = PreparedPictureName(source, width, height);
  if (!WritePreparedPicture(target, bitmap)) return;
  LoadBrowsedFile(slot, target);
  if ((small ? SmallImagePath : BigImagePath) == target) ShowSlotFile(slot, kPreparedFrom + source);
}

bool TForm1::WritePreparedPicture(std::string& path, const std::vector<std::uint8_t>& bitmap) {
  if (platform::FileExists(path) &&
      application_.ShowMessageBox(kReplaceQuestionStart + path + kReplaceQuestionEnd,
                                  application_.Title(),
                                  MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) {
    // Kept: the user says where the new one goes instead, a free name beside it proposed.
    const std::string free = FreeName(path);
    if (!free.empty()) path = free;
    return SavePreparedPictureAs(path, bitmap, kSavePreparedTitle);
  }
  try {
    platform::WriteFileAtomically(path, bitmap);
    return true;
  } catch (const EWriteError&) {
    // The picture's own folder takes no file (a CD, a share we may only read, a full disk):
    // the user says where instead.
  }
  path = path.substr(path.find_last_of("\\/:") + 1);  // npos + 1 == 0
  return SavePreparedPictureAs(path, bitmap, kSavePreparedUnwritableTitle);
}

bool TForm1::SavePreparedPictureAs(std::string& path, const std::vector<std::uint8_t>& bitmap,
                                   const std::string& title) {
  // The dialog asks before it replaces anything.
  SavePreparedDialog.filter = kBitmapFilter;
  SavePreparedDialog.title = title;
  SavePreparedDialog.file_name = path;
  SavePreparedDialog.options |= OFN_OVERWRITEPROMPT;
  if (!SavePreparedDialog.Execute()) return false;
  path = SavePreparedDialog.file_name;
  try {
    platform::WriteFileAtomically(path, bitmap);
  } catch (const EWriteError& error) {
    throw Exception(UnableToWriteMessage(error.path(), error.reason()));
  }
  return true;
}

}  // namespace marivane::ui
