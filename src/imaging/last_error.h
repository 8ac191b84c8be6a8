// Windows error numbers the library reports, and the per-thread last-error slot they go in.
#pragma once

#include <cstdint>

namespace imaging {

using Dword = std::uint32_t;

constexpr Dword kErrorSuccess = 0;
constexpr Dword kErrorFileNotFound = 2;
constexpr Dword kErrorPathNotFound = 3;
constexpr Dword kErrorAccessDenied = 5;
constexpr Dword kErrorInvalidHandle = 6;
constexpr Dword kErrorNotEnoughMemory = 8;
constexpr Dword kErrorWriteFault = 29;
constexpr Dword kErrorReadFault = 30;
constexpr Dword kErrorFileExists = 80;
constexpr Dword kErrorInvalidParameter = 87;
constexpr Dword kErrorDiskFull = 112;
constexpr Dword kErrorCallNotImplemented = 120;
constexpr Dword kErrorInvalidName = 123;
constexpr Dword kErrorDirectory = 267;  // "The directory name is invalid": a file where a folder was expected

// On Win32 these are SetLastError/GetLastError; elsewhere a thread-local value.
void setLastError(Dword code);
Dword LastError();

}  // namespace imaging
