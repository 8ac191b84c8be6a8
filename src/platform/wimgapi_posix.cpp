// The binding on Linux, where there is no system imaging library: the project's own, linked
// into the program, supplies the same fourteen entry points.
#include "imaging/imaging_api.h"
#include "platform/exit_procs.h"
#include "platform/wimgapi.h"

namespace wimgapi {
namespace internal {
void ClearEntryPoints();
}

namespace {
marivane::platform::TExitProc saved_exit_proc = nullptr;
}

void LoadWIMGAPI() {
  if (WIMGAPILoaded) return;
  WIMCreateFile = imaging::WIMCreateFile;
  WIMCloseHandle = imaging::WIMCloseHandle;
  WIMSetTemporaryPath = imaging::WIMSetTemporaryPath;
  WIMSetReferenceFile = imaging::WIMSetReferenceFile;
  WIMSplitFile = imaging::WIMSplitFile;
  WIMExportImage = imaging::WIMExportImage;
  WIMDeleteImage = imaging::WIMDeleteImage;
  WIMGetImageCount = imaging::WIMGetImageCount;
  WIMSetBootImage = imaging::WIMSetBootImage;
  WIMCaptureImage = imaging::WIMCaptureImage;
  WIMLoadImage = imaging::WIMLoadImage;
  WIMApplyImage = imaging::WIMApplyImage;
  WIMMountImage = imaging::WIMMountImage;
  WIMUnmountImage = imaging::WIMUnmountImage;
  WIMGAPILoaded = true;
  saved_exit_proc = marivane::platform::ExitProc;
  marivane::platform::ExitProc = UnloadWIMGAPI;
}

void UnloadWIMGAPI() {
  marivane::platform::ExitProc = saved_exit_proc;
  saved_exit_proc = nullptr;
  WIMGAPILoaded = false;
  internal::ClearEntryPoints();
}

Dword LastError() { return imaging::LastError(); }

}  // namespace wimgapi
