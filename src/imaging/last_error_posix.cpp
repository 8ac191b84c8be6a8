#include "imaging/last_error.h"

namespace imaging {

namespace {
thread_local TDword t_last_error = kErrorSuccess;
}

void SetLastError(TDword code) { t_last_error = code; }
TDword LastError() { return t_last_error; }

}  // namespace imaging
