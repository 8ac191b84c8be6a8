// Entry points of the stand-in WIMGAPI.DLL. They carry C linkage and stdcall like the system
// library's; the linker's --kill-at drops the @N decoration so GetProcAddress finds the plain
// names the builder asks for.
#include "imaging/imaging_api.h"

#define WIMGAPI_EXPORT extern "C" __declspec(dllexport)

using wimgapi::Bool;
using wimgapi::Dword;
using wimgapi::Handle;
using wimgapi::WidePath;

WIMGAPI_EXPORT Handle WIMAPI WIMCreateFile(WidePath path, Dword access, Dword disposition, Dword flags,
                                           Dword compression, Dword* result) {
  return imaging::WIMCreateFile(path, access, disposition, flags, compression, result);
}
WIMGAPI_EXPORT Bool WIMAPI WIMCloseHandle(Handle h) { return imaging::WIMCloseHandle(h); }
WIMGAPI_EXPORT Bool WIMAPI WIMSetTemporaryPath(Handle wim, WidePath path) {
  return imaging::WIMSetTemporaryPath(wim, path);
}
WIMGAPI_EXPORT Bool WIMAPI WIMSetReferenceFile(Handle wim, WidePath path, Dword flags) {
  return imaging::WIMSetReferenceFile(wim, path, flags);
}
WIMGAPI_EXPORT Bool WIMAPI WIMSplitFile(Handle wim, WidePath part, std::int64_t* size, Dword flags) {
  return imaging::WIMSplitFile(wim, part, size, flags);
}
WIMGAPI_EXPORT Bool WIMAPI WIMExportImage(Handle image, Handle wim, Dword flags) {
  return imaging::WIMExportImage(image, wim, flags);
}
WIMGAPI_EXPORT Bool WIMAPI WIMDeleteImage(Handle wim, Dword index) { return imaging::WIMDeleteImage(wim, index); }
WIMGAPI_EXPORT Dword WIMAPI WIMGetImageCount(Handle wim) { return imaging::WIMGetImageCount(wim); }
WIMGAPI_EXPORT Bool WIMAPI WIMSetBootImage(Handle wim, Dword index) { return imaging::WIMSetBootImage(wim, index); }
WIMGAPI_EXPORT Handle WIMAPI WIMCaptureImage(Handle wim, WidePath path, Dword flags) {
  return imaging::WIMCaptureImage(wim, path, flags);
}
WIMGAPI_EXPORT Handle WIMAPI WIMLoadImage(Handle wim, Dword index) { return imaging::WIMLoadImage(wim, index); }
WIMGAPI_EXPORT Bool WIMAPI WIMApplyImage(Handle image, WidePath path, Dword flags) {
  return imaging::WIMApplyImage(image, path, flags);
}
WIMGAPI_EXPORT Bool WIMAPI WIMMountImage(WidePath mount, WidePath wim, Dword index, WidePath temp) {
  return imaging::WIMMountImage(mount, wim, index, temp);
}
WIMGAPI_EXPORT Bool WIMAPI WIMUnmountImage(WidePath mount, WidePath wim, Dword index, Bool commit) {
  return imaging::WIMUnmountImage(mount, wim, index, commit);
}
