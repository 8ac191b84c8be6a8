#include "imaging/last_error.h"

namespace imaging {

namespace {
thread_local TDword last_error = kErrorSuccess;
}

void SetLastError(TDword code) { last_error = code; }
TDword LastError() { return last_error; }

}  // namespace imaging
