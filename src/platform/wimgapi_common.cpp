#include "platform/wimgapi.h"

namespace wimgapi {

bool WIMGAPILoaded = false;

CreateFileFn WIMCreateFile = nullptr;
CloseHandleFn WIMCloseHandle = nullptr;
SetTemporaryPathFn WIMSetTemporaryPath = nullptr;
SetReferenceFileFn WIMSetReferenceFile = nullptr;
SplitFileFn WIMSplitFile = nullptr;
ExportImageFn WIMExportImage = nullptr;
DeleteImageFn WIMDeleteImage = nullptr;
GetImageCountFn WIMGetImageCount = nullptr;
SetBootImageFn WIMSetBootImage = nullptr;
CaptureImageFn WIMCaptureImage = nullptr;
LoadImageFn WIMLoadImage = nullptr;
ApplyImageFn WIMApplyImage = nullptr;
MountImageFn WIMMountImage = nullptr;
UnmountImageFn WIMUnmountImage = nullptr;

}  // namespace wimgapi

namespace wimgapi::internal {

void ClearEntryPoints() {
  WIMCreateFile = nullptr;
  WIMCloseHandle = nullptr;
  WIMSetTemporaryPath = nullptr;
  WIMSetReferenceFile = nullptr;
  WIMSplitFile = nullptr;
  WIMExportImage = nullptr;
  WIMDeleteImage = nullptr;
  WIMGetImageCount = nullptr;
  WIMSetBootImage = nullptr;
  WIMCaptureImage = nullptr;
  WIMLoadImage = nullptr;
  WIMApplyImage = nullptr;
  WIMMountImage = nullptr;
  WIMUnmountImage = nullptr;
}

}  // namespace wimgapi::internal
