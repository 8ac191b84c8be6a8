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
constexpr TDword kErrorFileExists = 80;
constexpr TDword kErrorInvalidParameter = 87;
constexpr TDword kErrorDiskFull = 112;
constexpr TDword kErrorCallNotImplemented = 120;
constexpr TDword kErrorInvalidName = 123;
constexpr TDword kErrorDirectory = 267;  // "The directory name is invalid": a file where a folder was expected

// On Win32 these are SetLastError/GetLastError; elsewhere a thread-local value.
void SetLastError(TDword code);
TDword LastError();

}  // namespace imaging
