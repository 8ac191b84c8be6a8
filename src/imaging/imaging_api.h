// The project's own imaging library: the fourteen WIMGAPI entry points, same signatures and
// calling convention, so the builder can use it where the system library is missing.
//
// Working calls: WIMCreateFile (new archive, no compression or LZX), WIMCaptureImage (a whole
// folder tree), WIMSetBootImage, WIMCloseHandle (closing the archive handle completes the
// file). The others return 0 with ERROR_CALL_NOT_IMPLEMENTED. Every failure returns 0/null and
// leaves a Windows error number for LastError().
#pragma once

#include <array>
#include <cstdint>

#include "imaging/wimgapi_interface.h"

namespace imaging {

using wimgapi::Bool;
using wimgapi::Dword;
using wimgapi::Handle;
using wimgapi::WidePath;

Handle WIMAPI WIMCreateFile(WidePath path, Dword desired_access, Dword creation_disposition,
                            Dword flags_and_attributes, Dword compression_type, Dword* creation_result);
Bool WIMAPI WIMCloseHandle(Handle handle);
Bool WIMAPI WIMSetTemporaryPath(Handle wim, WidePath path);
Bool WIMAPI WIMSetReferenceFile(Handle wim, WidePath path, Dword flags);
Bool WIMAPI WIMSplitFile(Handle wim, WidePath part_path, std::int64_t* part_size, Dword flags);
Bool WIMAPI WIMExportImage(Handle image, Handle wim, Dword flags);
Bool WIMAPI WIMDeleteImage(Handle wim, Dword image_index);
Dword WIMAPI WIMGetImageCount(Handle wim);
Bool WIMAPI WIMSetBootImage(Handle wim, Dword image_index);
Handle WIMAPI WIMCaptureImage(Handle wim, WidePath path, Dword capture_flags);
Handle WIMAPI WIMLoadImage(Handle wim, Dword image_index);
Bool WIMAPI WIMApplyImage(Handle image, WidePath path, Dword apply_flags);
Bool WIMAPI WIMMountImage(WidePath mount_path, WidePath wim_path, Dword image_index, WidePath temp_path);
Bool WIMAPI WIMUnmountImage(WidePath mount_path, WidePath wim_path, Dword image_index, Bool commit_changes);

// The calling thread's last error. On Windows this is GetLastError(), which the library sets.
Dword LastError();

// Makes every archive created afterwards use this GUID and capture time (a FILETIME) instead
// of random bytes and the clock, so equal inputs give byte-identical files.
void SetFixedIdentity(const std::array<std::uint8_t, 16>& guid, std::uint64_t filetime);
void ClearFixedIdentity();

}  // namespace imaging
