// The Windows imaging library, bound at run time: the program starts without it and reports
// its absence only when a boot screen is to be made.
#pragma once

#include "imaging/wimgapi_interface.h"

namespace wimgapi {

// True once the library is loaded with all fourteen entry points bound.
extern bool WIMGAPILoaded;

// Binds the library; does nothing when it is bound already. A library that is missing, or
// lacks one of the entry points, leaves WIMGAPILoaded false and nothing loaded.
void LoadWIMGAPI();
// Releases the library; installed as an exit procedure by a successful LoadWIMGAPI.
void UnloadWIMGAPI();

// The last-error code of the calling thread, as the library's failing call left it.
Dword LastError();

// Bound in this order; only the first four named in the save path are ever called.
extern CreateFileFn WIMCreateFile;
extern CloseHandleFn WIMCloseHandle;
extern SetTemporaryPathFn WIMSetTemporaryPath;
extern SetReferenceFileFn WIMSetReferenceFile;
extern SplitFileFn WIMSplitFile;
extern ExportImageFn WIMExportImage;
extern DeleteImageFn WIMDeleteImage;
extern GetImageCountFn WIMGetImageCount;
extern SetBootImageFn WIMSetBootImage;
extern CaptureImageFn WIMCaptureImage;
extern LoadImageFn WIMLoadImage;
extern ApplyImageFn WIMApplyImage;
extern MountImageFn WIMMountImage;
extern UnmountImageFn WIMUnmountImage;

}  // namespace wimgapi
