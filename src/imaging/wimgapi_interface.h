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

using THandle = void*;
using TDword = std::uint32_t;
using TBool = std::int32_t;
using TWidePath = const char16_t*;

// Values the builder passes; they match the system library's header.
constexpr TDword kGenericWrite = 0x40000000;  // WIM_GENERIC_WRITE
constexpr TDword kGenericRead = 0x80000000;   // WIM_GENERIC_READ
constexpr TDword kCreateNew = 1;              // WIM_CREATE_NEW
constexpr TDword kCreateAlways = 2;           // WIM_CREATE_ALWAYS
constexpr TDword kOpenExisting = 3;           // WIM_OPEN_EXISTING
constexpr TDword kOpenAlways = 4;             // WIM_OPEN_ALWAYS
constexpr TDword kCompressNone = 0;           // WIM_COMPRESS_NONE
constexpr TDword kCompressXpress = 1;         // WIM_COMPRESS_XPRESS
constexpr TDword kCompressLzx = 2;            // WIM_COMPRESS_LZX

// The fourteen entry points, in the order the binding looks them up. One line each:
//   X(name, result, (parameters), (arguments), kind)
// name comes without its "WIM" prefix; kind says whether the project's own library carries the
// call out (IMPLEMENTED) or refuses it with ERROR_CALL_NOT_IMPLEMENTED (NOT_IMPLEMENTED).
// Everything else that lists the entry points (the pointer types below, the binding's variables,
// its look-up and its Linux table, the library's declarations and the stand-in DLL's exports) is
// made from this list. A use of X must pass name only through # and ##: <windows.h> defines
// CreateFile and LoadImage as macros, so a plain use would turn them into CreateFileW and
// LoadImageW.
#define MARIVANE_WIMGAPI_ENTRY_POINTS(X)                                                        \
  X(CreateFile, THandle,                                                                        \
    (TWidePath path, TDword desired_access, TDword creation_disposition,                        \
     TDword flags_and_attributes, TDword compression_type, TDword* creation_result),            \
    (path, desired_access, creation_disposition, flags_and_attributes, compression_type,        \
     creation_result),                                                                          \
    IMPLEMENTED)                                                                                \
  X(CloseHandle, TBool, (THandle handle), (handle), IMPLEMENTED)                                \
  X(SetTemporaryPath, TBool, (THandle wim, TWidePath path), (wim, path), NOT_IMPLEMENTED)       \
  X(SetReferenceFile, TBool, (THandle wim, TWidePath path, TDword flags), (wim, path, flags),   \
    NOT_IMPLEMENTED)                                                                            \
  X(SplitFile, TBool,                                                                           \
    (THandle wim, TWidePath part_path, std::int64_t* part_size, TDword flags),                  \
    (wim, part_path, part_size, flags), NOT_IMPLEMENTED)                                        \
  X(ExportImage, TBool, (THandle image, THandle wim, TDword flags), (image, wim, flags),        \
    NOT_IMPLEMENTED)                                                                            \
  X(DeleteImage, TBool, (THandle wim, TDword image_index), (wim, image_index), NOT_IMPLEMENTED) \
  X(GetImageCount, TDword, (THandle wim), (wim), NOT_IMPLEMENTED)                               \
  X(SetBootImage, TBool, (THandle wim, TDword image_index), (wim, image_index), IMPLEMENTED)    \
  X(CaptureImage, THandle, (THandle wim, TWidePath path, TDword capture_flags),                 \
    (wim, path, capture_flags), IMPLEMENTED)                                                    \
  X(LoadImage, THandle, (THandle wim, TDword image_index), (wim, image_index), NOT_IMPLEMENTED) \
  X(ApplyImage, TBool, (THandle image, TWidePath path, TDword apply_flags),                     \
    (image, path, apply_flags), NOT_IMPLEMENTED)                                                \
  X(MountImage, TBool,                                                                          \
    (TWidePath mount_path, TWidePath wim_path, TDword image_index, TWidePath temp_path),        \
    (mount_path, wim_path, image_index, temp_path), NOT_IMPLEMENTED)                            \
  X(UnmountImage, TBool,                                                                        \
    (TWidePath mount_path, TWidePath wim_path, TDword image_index, TBool commit_changes),       \
    (mount_path, wim_path, image_index, commit_changes), NOT_IMPLEMENTED)

// TCreateFileFn, TCloseHandleFn, ...: the type of a pointer to each entry point.
#define MARIVANE_WIMGAPI_POINTER_TYPE(name, result, parameters, arguments, kind) \
  using T##name##Fn = result(WIMAPI*) parameters;
MARIVANE_WIMGAPI_ENTRY_POINTS(MARIVANE_WIMGAPI_POINTER_TYPE)
#undef MARIVANE_WIMGAPI_POINTER_TYPE

}  // namespace wimgapi
