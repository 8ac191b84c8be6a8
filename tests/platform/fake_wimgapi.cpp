// A stand-in imaging library for the binding tests: every entry point exists (unless the build
// leaves one out on purpose), and WIMGetImageCount answers a number only this library gives.
#include "imaging/wimgapi_interface.h"

using namespace wimgapi;

extern "C" {

__declspec(dllexport) THandle WIMAPI WIMCreateFile(TWidePath, TDword, TDword, TDword, TDword, TDword*) { return nullptr; }
__declspec(dllexport) TBool WIMAPI WIMCloseHandle(THandle) { return 0; }
__declspec(dllexport) TBool WIMAPI WIMSetTemporaryPath(THandle, TWidePath) { return 0; }
__declspec(dllexport) TBool WIMAPI WIMSetReferenceFile(THandle, TWidePath, TDword) { return 0; }
__declspec(dllexport) TBool WIMAPI WIMSplitFile(THandle, TWidePath, std::int64_t*, TDword) { return 0; }
__declspec(dllexport) TBool WIMAPI WIMExportImage(THandle, THandle, TDword) { return 0; }
__declspec(dllexport) TBool WIMAPI WIMDeleteImage(THandle, TDword) { return 0; }
__declspec(dllexport) TDword WIMAPI WIMGetImageCount(THandle) { return 4242; }
__declspec(dllexport) TBool WIMAPI WIMSetBootImage(THandle, TDword) { return 0; }
__declspec(dllexport) THandle WIMAPI WIMCaptureImage(THandle, TWidePath, TDword) { return nullptr; }
__declspec(dllexport) THandle WIMAPI WIMLoadImage(THandle, TDword) { return nullptr; }
__declspec(dllexport) TBool WIMAPI WIMApplyImage(THandle, TWidePath, TDword) { return 0; }
__declspec(dllexport) TBool WIMAPI WIMMountImage(TWidePath, TWidePath, TDword, TWidePath) { return 0; }
#ifndef FAKE_WIMGAPI_LACKS_UNMOUNT
__declspec(dllexport) TBool WIMAPI WIMUnmountImage(TWidePath, TWidePath, TDword, TBool) { return 0; }
#endif
}
