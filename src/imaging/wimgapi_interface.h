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

using CreateFileFn = Handle(WIMAPI*)(WidePath path, Dword desired_access, Dword creation_disposition,
                                     Dword flags_and_attributes, Dword compression_type,
                                     Dword* creation_result);
using CloseHandleFn = Bool(WIMAPI*)(Handle handle);
using SetTemporaryPathFn = Bool(WIMAPI*)(Handle wim, WidePath path);
using SetReferenceFileFn = Bool(WIMAPI*)(Handle wim, WidePath path, Dword flags);
using SplitFileFn = Bool(WIMAPI*)(Handle wim, WidePath part_path, std::int64_t* part_size, Dword flags);
using ExportImageFn = Bool(WIMAPI*)(Handle image, Handle wim, Dword flags);
using DeleteImageFn = Bool(WIMAPI*)(Handle wim, Dword image_index);
using GetImageCountFn = Dword(WIMAPI*)(Handle wim);
using SetBootImageFn = Bool(WIMAPI*)(Handle wim, Dword image_index);
using CaptureImageFn = Handle(WIMAPI*)(Handle wim, WidePath path, Dword capture_flags);
using LoadImageFn = Handle(WIMAPI*)(Handle wim, Dword image_index);
using ApplyImageFn = Bool(WIMAPI*)(Handle image, WidePath path, Dword apply_flags);
using MountImageFn = Bool(WIMAPI*)(WidePath mount_path, WidePath wim_path, Dword image_index,
                                   WidePath temp_path);
using UnmountImageFn = Bool(WIMAPI*)(WidePath mount_path, WidePath wim_path, Dword image_index,
                                     Bool commit_changes);

}  // namespace wimgapi
