// The Windows imaging library, bound at run time: the program starts without it and reports
// its absence only when a boot screen is to be made.
#pragma once

#include "imaging/wimgapi_interface.h"

namespace wimgapi {

// True once the library is loaded with all fourteen entry points bound.
extern bool WIMGAPILoaded;

// Binds the library; does nothing when it is bound already. A library that is missing, or
// lacks one of the entry points, leaves WIMGAPILoaded false and nothing loaded.
void LoadWIMGAPI();
// Releases the library; installed as an exit procedure by a successful LoadWIMGAPI.
void UnloadWIMGAPI();

// The last-error code of the calling thread, as the library's failing call left it.
TDword LastError();

// WIMCreateFile, WIMCloseHandle, ...: bound in the order of MARIVANE_WIMGAPI_ENTRY_POINTS, and
// all null while the library is not loaded. Only the four the save path names are ever called.
#define MARIVANE_WIMGAPI_DECLARE_POINTER(name, result, parameters, arguments, kind) \
  extern T##name##Fn WIM##name;
MARIVANE_WIMGAPI_ENTRY_POINTS(MARIVANE_WIMGAPI_DECLARE_POINTER)
#undef MARIVANE_WIMGAPI_DECLARE_POINTER

}  // namespace wimgapi
