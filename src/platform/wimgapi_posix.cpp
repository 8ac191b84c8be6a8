// The binding on Linux, where there is no system imaging library: the project's own, linked
// into the program, supplies the same fourteen entry points.
#include "imaging/imaging_api.h"
#include "platform/exit_procs.h"
#include "platform/wimgapi.h"

namespace wimgapi {
namespace internal {
void ClearEntryPoints();
}

namespace {
marivane::platform::TExitProc saved_exit_proc = nullptr;
}

void LoadWIMGAPI() {
  if (WIMGAPILoaded) return;
#define MARIVANE_WIMGAPI_TAKE_OWN(name, result, parameters, arguments, kind) \
  WIM##name = imaging::WIM##name;
  MARIVANE_WIMGAPI_ENTRY_POINTS(MARIVANE_WIMGAPI_TAKE_OWN)
#undef MARIVANE_WIMGAPI_TAKE_OWN
  WIMGAPILoaded = true;
  saved_exit_proc = marivane::platform::ExitProc;
  marivane::platform::ExitProc = UnloadWIMGAPI;
}

void UnloadWIMGAPI() {
  marivane::platform::ExitProc = saved_exit_proc;
  saved_exit_proc = nullptr;
  WIMGAPILoaded = false;
  internal::ClearEntryPoints();
}

TDword LastError() { return imaging::LastError(); }

}  // namespace wimgapi
