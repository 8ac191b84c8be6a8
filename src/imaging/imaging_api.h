// The project's own imaging library: the fourteen WIMGAPI entry points, same signatures and
// calling convention, so the builder can use it where the system library is missing.
//
// Working calls: WIMCreateFile (new archive, no compression or LZX), WIMCaptureImage (a whole
// folder tree, links followed; one that leads back into the tree fails with
// ERROR_CANT_RESOLVE_FILENAME, the archive itself with ERROR_SHARING_VIOLATION),
// WIMSetBootImage, WIMCloseHandle (closing the archive handle completes the file, or deletes it
// when a capture failed and left it without an image). The others, NOT_IMPLEMENTED in
// MARIVANE_WIMGAPI_ENTRY_POINTS, return 0 with ERROR_CALL_NOT_IMPLEMENTED. Every failure
// returns 0/null and leaves a Windows error number for LastError().
#pragma once

#include <array>
#include <cstdint>

#include "imaging/wimgapi_interface.h"

namespace imaging {

using wimgapi::TBool;
using wimgapi::TDword;
using wimgapi::THandle;
using wimgapi::TWidePath;

// WIMCreateFile, WIMCloseHandle, ...: the fourteen, declared from MARIVANE_WIMGAPI_ENTRY_POINTS.
#define MARIVANE_IMAGING_DECLARE(name, result, parameters, arguments, kind) \
  result WIMAPI WIM##name parameters;
MARIVANE_WIMGAPI_ENTRY_POINTS(MARIVANE_IMAGING_DECLARE)
#undef MARIVANE_IMAGING_DECLARE

// The calling thread's last error. On Windows this is GetLastError(), which the library sets.
TDword LastError();

// WIMCreateFile for an archive with this GUID and XML time (a FILETIME) instead of those it
// derives from its files (a hash of its content, their latest write time): for tests that
// compare bytes. Not one of the fourteen; the stand-in DLL does not export it.
THandle CreateFileWithIdentity(TWidePath path, TDword desired_access, TDword creation_disposition,
                               TDword compression_type, TDword* creation_result,
                               const std::array<std::uint8_t, 16>& guid, std::uint64_t filetime);

}  // namespace imaging
