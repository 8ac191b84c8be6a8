// The interface of the Windows imaging library (WIMGAPI) as far as this project uses it: the
// calling convention, argument types and values of its entry points. The project's own imaging
// library implements it; the platform's run-time binding (platform/wimgapi.h) looks it up in
// the system's library. Paths are UTF-16 on every platform.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define WIMAPI __stdcall
#else
#define WIMAPI
#endif

namespace wimgapi {

using Handle = void*;
using Dword = std::uint32_t;
using Bool = std::int32_t;
using WidePath = const char16_t*;

// Values the builder passes; they match the system library's header.
constexpr Dword kGenericWrite = 0x40000000;  // WIM_GENERIC_WRITE
constexpr Dword kGenericRead = 0x80000000;   // WIM_GENERIC_READ
constexpr Dword kCreateNew = 1;              // WIM_CREATE_NEW
constexpr Dword kCreateAlways = 2;           // WIM_CREATE_ALWAYS
constexpr Dword kOpenExisting = 3;           // WIM_OPEN_EXISTING
constexpr Dword kOpenAlways = 4;             // WIM_OPEN_ALWAYS
constexpr Dword kCompressNone = 0;           // WIM_COMPRESS_NONE
constexpr Dword kCompressXpress = 1;         // WIM_COMPRESS_XPRESS
constexpr Dword kCompressLzx = 2;            // WIM_COMPRESS_LZX

// The fourteen entry points, in the order the binding looks them up. One line each:
//   X(name, result, (parameters), (arguments), kind)
// name comes without its "WIM" prefix; kind says whether the project's own library carries the
// call out (IMPLEMENTED) or refuses it with ERROR_CALL_NOT_IMPLEMENTED (NOT_IMPLEMENTED).
// Everything else that lists the entry points (the pointer types below, the binding's variables,
// its look-up and its Linux table, the library's declarations and the stand-in DLL's exports) is
// made from this list. A use of X must pass name only through # and ##: <windows.h> defines
// CreateFile and LoadImage as macros, so a plain use would turn them into CreateFileW and
// LoadImageW.
#define MARIVANE_WIMGAPI_ENTRY_POINTS(X)                                                           \
  X(CreateFile, Handle,                                                                            \
    (WidePath path, Dword desired_access, Dword creation_disposition, Dword flags_and_attributes,  \
     Dword compression_type, Dword* creation_result),                                              \
    (path, desired_access, creation_disposition, flags_and_attributes, compression_type,           \
     creation_result),                                                                             \
    IMPLEMENTED)                                                                                   \
  X(CloseHandle, Bool, (Handle handle), (handle), IMPLEMENTED)                                     \
  X(SetTemporaryPath, Bool, (Handle wim, WidePath path), (wim, path), NOT_IMPLEMENTED)             \
  X(SetReferenceFile, Bool, (Handle wim, WidePath path, Dword flags), (wim, path, flags),          \
    NOT_IMPLEMENTED)                                                                               \
  X(SplitFile, Bool, (Handle wim, WidePath part_path, std::int64_t* part_size, Dword flags),       \
    (wim, part_path, part_size, flags), NOT_IMPLEMENTED)                                           \
  X(ExportImage, Bool, (Handle image, Handle wim, Dword flags), (image, wim, flags),               \
    NOT_IMPLEMENTED)                                                                               \
  X(DeleteImage, Bool, (Handle wim, Dword image_index), (wim, image_index), NOT_IMPLEMENTED)       \
  X(GetImageCount, Dword, (Handle wim), (wim), NOT_IMPLEMENTED)                                    \
  X(SetBootImage, Bool, (Handle wim, Dword image_index), (wim, image_index), IMPLEMENTED)          \
  X(CaptureImage, Handle, (Handle wim, WidePath path, Dword capture_flags),                        \
    (wim, path, capture_flags), IMPLEMENTED)                                                       \
  X(LoadImage, Handle, (Handle wim, Dword image_index), (wim, image_index), NOT_IMPLEMENTED)       \
  X(ApplyImage, Bool, (Handle image, WidePath path, Dword apply_flags),                            \
    (image, path, apply_flags), NOT_IMPLEMENTED)                                                   \
  X(MountImage, Bool,                                                                              \
    (WidePath mount_path, WidePath wim_path, Dword image_index, WidePath temp_path),               \
    (mount_path, wim_path, image_index, temp_path), NOT_IMPLEMENTED)                               \
  X(UnmountImage, Bool,                                                                            \
    (WidePath mount_path, WidePath wim_path, Dword image_index, Bool commit_changes),              \
    (mount_path, wim_path, image_index, commit_changes), NOT_IMPLEMENTED)

// CreateFileFn, CloseHandleFn, ...: the type of a pointer to each entry point.
#define MARIVANE_WIMGAPI_POINTER_TYPE(name, result, parameters, arguments, kind) \
  using name##Fn = result(WIMAPI*) parameters;
MARIVANE_WIMGAPI_ENTRY_POINTS(MARIVANE_WIMGAPI_POINTER_TYPE)
#undef MARIVANE_WIMGAPI_POINTER_TYPE

}  // namespace wimgapi
