#include "imaging/last_error.h"

namespace imaging {

namespace {
thread_local Dword t_last_error = kErrorSuccess;
}

void setLastError(Dword code) { t_last_error = code; }
Dword LastError() { return t_last_error; }

}  // namespace imaging
