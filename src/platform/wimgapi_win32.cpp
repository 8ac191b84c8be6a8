// The binding on Windows: WIMGAPI.DLL loaded by name, its entry points looked up by name.
#include <windows.h>

#include <bit>
#include <cstdint>

#include "platform/exit_procs.h"
#include "platform/wimgapi.h"

namespace wimgapi {
namespace internal {
void ClearEntryPoints();
}

namespace {

HMODULE library = nullptr;
marivane::platform::TExitProc saved_exit_proc = nullptr;

template <typename Fn>
bool Bind(const char* name, Fn& slot) {
  slot = std::bit_cast<Fn>(GetProcAddress(library, name));
  return slot != nullptr;
}

// Stops at the first entry point the library lacks.
bool BindAll() {
#define MARIVANE_WIMGAPI_BIND(name, result, parameters, arguments, kind) \
  && Bind("WIM" #name, WIM##name)
  return true MARIVANE_WIMGAPI_ENTRY_POINTS(MARIVANE_WIMGAPI_BIND);
#undef MARIVANE_WIMGAPI_BIND
}

}  // namespace

void LoadWIMGAPI() {
  if (WIMGAPILoaded) return;
  // A missing library must not bring up the system's "cannot find" box.
  const UINT saved_error_mode = SetErrorMode(SEM_NOOPENFILEERRORBOX);
  library = LoadLibraryA("WIMGAPI.DLL");
  // Handles below 32 are the error numbers of the 16-bit loader, never a module.
  if (reinterpret_cast<std::uintptr_t>(library) < 32) {
    library = nullptr;
  } else if (!BindAll()) {
    // A library without one of the entry points is of no use, and Wine's own stand-in is
    // such a library: release it and carry on without one, so that the window still opens.
    internal::ClearEntryPoints();
    FreeLibrary(library);
    library = nullptr;
  } else {
    WIMGAPILoaded = true;
    saved_exit_proc = marivane::platform::ExitProc;
    marivane::platform::ExitProc = UnloadWIMGAPI;
  }
  SetErrorMode(saved_error_mode);
}

void UnloadWIMGAPI() {
  marivane::platform::ExitProc = saved_exit_proc;
  saved_exit_proc = nullptr;
  WIMGAPILoaded = false;
  internal::ClearEntryPoints();
  if (library != nullptr) FreeLibrary(library);
  library = nullptr;
}

TDword LastError() { return GetLastError(); }

}  // namespace wimgapi
