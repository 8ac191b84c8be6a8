#include "platform/wimgapi.h"

namespace wimgapi {

bool WIMGAPILoaded = false;

#define MARIVANE_WIMGAPI_DEFINE_POINTER(name, result, parameters, arguments, kind) \
  T##name##Fn WIM##name = nullptr;
MARIVANE_WIMGAPI_ENTRY_POINTS(MARIVANE_WIMGAPI_DEFINE_POINTER)
#undef MARIVANE_WIMGAPI_DEFINE_POINTER

}  // namespace wimgapi

namespace wimgapi::internal {

void ClearEntryPoints() {
#define MARIVANE_WIMGAPI_CLEAR_POINTER(name, result, parameters, arguments, kind) WIM##name = nullptr;
  MARIVANE_WIMGAPI_ENTRY_POINTS(MARIVANE_WIMGAPI_CLEAR_POINTER)
#undef MARIVANE_WIMGAPI_CLEAR_POINTER
}

}  // namespace wimgapi::internal
