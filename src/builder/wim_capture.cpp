#include "builder/wim_capture.h"

#include "builder/boot_screen_builder.h"
#include "platform/platform.h"
#include "platform/wimgapi.h"

namespace marivane {

bool CaptureFolderToWim(const std::string& folder, const std::string& wim_path, TUserInterface& ui) {
  using namespace wimgapi;
  if (!WIMGAPILoaded) {
    ui.ShowMessage(kWimgapiMissingMessage);
    return false;
  }
  const std::u16string wide_wim = platform::ToWidePath(wim_path);
  const std::u16string wide_folder = platform::ToWidePath(folder);

  TDword creation_result = 0;  // asked for by the library, of no use to us
  const THandle wim = WIMCreateFile(wide_wim.c_str(), kGenericWrite, kCreateAlways, 0, kCompressLzx,
                                    &creation_result);
  if (wim == nullptr) {
    // Read before anything else can touch the thread's error state.
    const TDword error = LastError();
    ui.ShowMessage(kCreateWimFailedMessage + std::to_string(error));
    return false;
  }
  const THandle image = WIMCaptureImage(wim, wide_folder.c_str(), 0);
  if (image == nullptr) {
    const TDword error = LastError();
    ui.ShowMessage(kCaptureFailedMessage + std::to_string(error));
    WIMCloseHandle(wim);
    return false;
  }
  if (!WIMSetBootImage(wim, 1)) {
    const TDword error = LastError();
    ui.ShowMessage(kSetBootFailedMessage + std::to_string(error));
    WIMCloseHandle(image);
    WIMCloseHandle(wim);
    return false;
  }
  // The image handle goes first; closing the WIM handle is what completes the file.
  WIMCloseHandle(image);
  WIMCloseHandle(wim);
  return true;
}

}  // namespace marivane
