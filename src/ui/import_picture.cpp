// The main window's import commands: any picture the system can decode, framed in the mode the
// user picks, scaled to the slot's size, written as a 24-bit bitmap beside it and then browsed
// into the slot like any chosen bitmap, so that the slot's own check has the last word.
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

constexpr const char* kImportFilter =
    "Pictures (*.png;*.jpg;*.jpeg;*.gif;*.tif;*.tiff;*.bmp;*.ico)|"
    "*.png;*.jpg;*.jpeg;*.gif;*.tif;*.tiff;*.bmp;*.ico|"
    "PNG (*.png)|*.png|JPEG (*.jpg;*.jpeg)|*.jpg;*.jpeg|GIF (*.gif)|*.gif|"
    "TIFF (*.tif;*.tiff)|*.tif;*.tiff|Bitmaps (*.bmp)|*.bmp|Icons (*.ico)|*.ico|"
    "All files (*.*)|*.*";
constexpr const char* kBitmapFilter = "Bitmap files (*.bmp)|*.bmp";

// The busy cursor while a picture is decoded or scaled; a 24-megapixel photo takes a moment.
class TBusyScope : platform::TNonCopyable {
 public:
  explicit TBusyScope(TUserInterface& ui) : ui_(ui) { ui_.SetBusy(true); }
  ~TBusyScope() { ui_.SetBusy(false); }

 private:
  TUserInterface& ui_;
};

}  // namespace

void TForm1::Import800x600PictureClick() { ImportPicture(TSlot::Small); }

void TForm1::Import1024x768PictureClick() { ImportPicture(TSlot::Big); }

void TForm1::ImportPicture(TSlot slot) {
  const bool small = slot == TSlot::Small;
  const std::int32_t width = small ? 800 : 1024;
  const std::int32_t height = small ? 600 : 768;
  const std::string caption =
      small ? "Import Picture for 800 x 600" : "Import Picture for 1024 x 768";
  ImportDialog.filter = kImportFilter;
  ImportDialog.title = caption;
  if (!ImportDialog.Execute()) return;
  const std::string source = ImportDialog.file_name;

  // A file that cannot be decoded raises with a text naming it; the default handler shows it.
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
}

bool TForm1::WritePreparedPicture(std::string& path, const std::vector<std::uint8_t>& bitmap) {
  if (platform::FileExists(path) &&
      application_.ShowMessageBox("\"" + path + "\" already exists.\r\nDo you want to replace it?",
                                  application_.Title(),
                                  MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
    return false;
  try {
    platform::WriteFileAtomically(path, bitmap);
    return true;
  } catch (const EWriteError&) {
    // The picture's own folder takes no file (a CD, a share we may only read, a full disk):
    // the user says where instead, and that dialog asks before it replaces anything.
  }
  const std::string name = path.substr(path.find_last_of("\\/:") + 1);  // npos + 1 == 0
  SavePreparedDialog.filter = kBitmapFilter;
  SavePreparedDialog.title = "Save Prepared Picture As - its own folder cannot be written";
  SavePreparedDialog.file_name = name;
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
