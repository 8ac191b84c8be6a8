// A stand-in imaging library for the binding tests: every entry point exists (unless the build
// leaves one out on purpose), and WIMGetImageCount answers a number only this library gives.
#include "imaging/wimgapi_interface.h"

using namespace wimgapi;

extern "C" {

__declspec(dllexport) Handle WIMAPI WIMCreateFile(WidePath, Dword, Dword, Dword, Dword, Dword*) { return nullptr; }
__declspec(dllexport) Bool WIMAPI WIMCloseHandle(Handle) { return 0; }
__declspec(dllexport) Bool WIMAPI WIMSetTemporaryPath(Handle, WidePath) { return 0; }
__declspec(dllexport) Bool WIMAPI WIMSetReferenceFile(Handle, WidePath, Dword) { return 0; }
__declspec(dllexport) Bool WIMAPI WIMSplitFile(Handle, WidePath, std::int64_t*, Dword) { return 0; }
__declspec(dllexport) Bool WIMAPI WIMExportImage(Handle, Handle, Dword) { return 0; }
__declspec(dllexport) Bool WIMAPI WIMDeleteImage(Handle, Dword) { return 0; }
__declspec(dllexport) Dword WIMAPI WIMGetImageCount(Handle) { return 4242; }
__declspec(dllexport) Bool WIMAPI WIMSetBootImage(Handle, Dword) { return 0; }
__declspec(dllexport) Handle WIMAPI WIMCaptureImage(Handle, WidePath, Dword) { return nullptr; }
__declspec(dllexport) Handle WIMAPI WIMLoadImage(Handle, Dword) { return nullptr; }
__declspec(dllexport) Bool WIMAPI WIMApplyImage(Handle, WidePath, Dword) { return 0; }
__declspec(dllexport) Bool WIMAPI WIMMountImage(WidePath, WidePath, Dword, WidePath) { return 0; }
#ifndef FAKE_WIMGAPI_LACKS_UNMOUNT
__declspec(dllexport) Bool WIMAPI WIMUnmountImage(WidePath, WidePath, Dword, Bool) { return 0; }
#endif
}
