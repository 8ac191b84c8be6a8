// Windows error numbers the library reports, and the per-thread last-error slot they go in.
#pragma once

#include "imaging/wimgapi_interface.h"

namespace imaging {

using wimgapi::TDword;

constexpr TDword kErrorSuccess = 0;
constexpr TDword kErrorFileNotFound = 2;
constexpr TDword kErrorPathNotFound = 3;
constexpr TDword kErrorAccessDenied = 5;
constexpr TDword kErrorInvalidHandle = 6;
constexpr TDword kErrorNotEnoughMemory = 8;
constexpr TDword kErrorWriteFault = 29;
constexpr TDword kErrorReadFault = 30;
// "The process cannot access the file because it is being used by another process."
constexpr TDword kErrorSharingViolation = 32;
constexpr TDword kErrorFileExists = 80;
constexpr TDword kErrorInvalidParameter = 87;
constexpr TDword kErrorDiskFull = 112;
constexpr TDword kErrorCallNotImplemented = 120;
constexpr TDword kErrorInvalidName = 123;
constexpr TDword kErrorDirectory = 267;  // "The directory name is invalid": a file where a folder was expected
// "The name of the file cannot be resolved by the system.": what Windows says for a chain of
// links that never ends, and what a capture says for a link back into itself.
constexpr TDword kErrorCantResolveFilename = 1921;

// On Win32 these are SetLastError/GetLastError; elsewhere a thread-local value.
void SetLastError(TDword code);
TDword LastError();

}  // namespace imaging
