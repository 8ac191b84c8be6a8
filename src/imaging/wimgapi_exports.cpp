// Entry points of the stand-in WIMGAPI.DLL. They carry C linkage and stdcall like the system
// library's; the linker's --kill-at drops the @N decoration so GetProcAddress finds the plain
// names the builder asks for.
#include "imaging/imaging_api.h"

using wimgapi::TBool;
using wimgapi::TDword;
using wimgapi::THandle;
using wimgapi::TWidePath;

// WIMCreateFile, WIMCloseHandle, ...: each passes its call on to the library's own.
#define MARIVANE_WIMGAPI_EXPORT(name, result, parameters, arguments, kind)    \
  extern "C" __declspec(dllexport) result WIMAPI WIM##name parameters { \
    return imaging::WIM##name arguments;                                  \
  }
MARIVANE_WIMGAPI_ENTRY_POINTS(MARIVANE_WIMGAPI_EXPORT)
#undef MARIVANE_WIMGAPI_EXPORT
